# Writes the build-facts unit: the build's date and its revision as Nuv statements that fill
# system/build. Run by the build before the boot units are assembled; the file is rewritten only
# when a fact changes, so an unchanged revision rebuilds nothing. The build date is the
# revision's date, so two builds of the same sources give the same facts.
#   cmake -DSOURCE_DIR=... -DOUTPUT=... -P build_facts.cmake
function(git_fact out)
  execute_process(COMMAND git ${ARGN} WORKING_DIRECTORY ${SOURCE_DIR}
    OUTPUT_VARIABLE value RESULT_VARIABLE status ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT status EQUAL 0)
    set(value "")
  endif()
  set(${out} "${value}" PARENT_SCOPE)
endfunction()

# A Nuv string literal of the text.
function(nuv_string out text)
  string(REPLACE "^" "^^" text "${text}")
  string(REPLACE "\"" "^\"" text "${text}")
  set(${out} "\"${text}\"" PARENT_SCOPE)
endfunction()

# The dates are written in UTC (their "Z"), whatever zone the build machine is set to; the
# revision's date is shown in the zone of the machine that runs the system (to-local-date).
set(ENV{TZ} UTC)
git_fact(branch rev-parse --abbrev-ref HEAD)
git_fact(tag describe --tags --abbrev=0)
git_fact(commit rev-parse HEAD)
git_fact(date log -1 --format=%cd --date=format-local:%Y-%m-%dT%H:%M:%SZ)
git_fact(message log -1 --format=%s)
if(tag)
  git_fact(ahead rev-list --count ${tag}..HEAD)
else()
  git_fact(ahead rev-list --count HEAD)
endif()
if(NOT date)
  set(date "2000-01-01T00:00:00Z")
endif()
if(NOT ahead)
  set(ahead 0)
endif()
nuv_string(branch_text "${branch}")
nuv_string(message_text "${message}")
set(tag_value none)
if(tag)
  string(REGEX REPLACE "[^A-Za-z0-9.-]" "-" tag "${tag}")
  set(tag_value "#${tag}")
endif()
set(commit_value none)
if(commit)
  set(commit_value "#${commit}")
endif()

set(text "; The build facts, written by the build.

system/build/date: ${date}
system/build/git/branch: ${branch_text}
system/build/git/tag: ${tag_value}
system/build/git/ahead: ${ahead}
system/build/git/date: to-local-date ${date}
system/build/git/commit: ${commit_value}
system/build/git/message: ${message_text}
")
set(old "")
if(EXISTS ${OUTPUT})
  file(READ ${OUTPUT} old)
endif()
if(NOT old STREQUAL text)
  file(WRITE ${OUTPUT} "${text}")
endif()

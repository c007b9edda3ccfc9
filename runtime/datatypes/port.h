// port!: an object (the fields of system/standard/port: spec, scheme, actor, awake, state,
// data, extra) whose series and I/O actions are forwarded, under each action's own name, to the
// function of that name in its actor object, which the scheme registered in system/schemes
// supplies. The runtime itself implements no transport. read and write are composed of open,
// copy or insert, and close.
#pragma once
#include <cstdint>

#include "runtime/actions.h"
#include "runtime/cell.h"
#include "runtime/datatypes/registry.h"

namespace nuv::port {

// Field positions of a port.
enum Field : int32_t { kSpec = 0, kScheme = 1, kActor = 2 };

Cell* make(Cell* proto, Cell* spec, TypeId type);
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t budget);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
             int32_t budget, int32_t indent);

// change with its /part argument as given (none without /part): the actor measures it.
Cell* change_part(Cell* port, Cell* value, const Cell* part, bool only, int32_t dup);

extern const TypeRecord kRecord;
void init();

}  // namespace nuv::port

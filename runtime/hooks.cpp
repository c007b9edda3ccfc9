// The hook tables; the layers above fill them when they start up.
#include "runtime/hooks.h"

namespace nuv::hooks {

Events g_events{};
Imaging g_imaging{};
Drawing g_drawing{};
Evaluator g_evaluator{};
Syntax g_syntax{};
Tracer g_tracer{};
bool g_tracing = false;

}  // namespace nuv::hooks

// The hook tables; the layers above fill them when they start up.
#include "runtime/hooks.h"

namespace nuv::hooks {

Evaluator g_evaluator{};
Syntax g_syntax{};

}  // namespace nuv::hooks

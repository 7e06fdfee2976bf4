#pragma once
// Variables of the launcher's own environment, which the game inherits when it is started.

namespace launcher {

// Sets name to value; a null value removes the variable.
void setProcessVariable(const char* name, const char* value);

} // namespace launcher

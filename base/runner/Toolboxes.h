#ifndef MURV_RUNNER_TOOLBOXES_H
#define MURV_RUNNER_TOOLBOXES_H

// The toolboxes the runner loads, and how its errors name those in the
// process.

#include <string>
#include <vector>

namespace murvrun {

// The toolbox loaded when none is named, looked up on the loader's search
// path alone.
constexpr const char* defaultToolbox = "libmurv-ros.tlb.so";

// Loads each toolbox of names with dlopen, or the default toolbox when
// names is empty. A name without a slash is the file of that name in the
// current folder when there is one, otherwise a library on the loader's
// search path. A toolbox that cannot be loaded is said on standard error,
// and false answered.
bool loadToolboxes(const std::vector<std::string>& names);

// Every toolbox in the process: those loaded, as they were named, then
// each other library that registered node types (one that a loaded
// toolbox needs, loaded with it), by its file.
std::vector<std::string> toolboxesLoaded();

}  // namespace murvrun

#endif

#include "Toolboxes.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>

#include <algorithm>
#include <typeinfo>

#include "NetworkBuilder.h"
#include "Node.h"
#include "StandardStreams.h"

namespace murvrun {

namespace {

struct Loaded {
  std::string name;  // as the user named it
  std::string file;  // as the loader has it
};

std::vector<Loaded>& loaded() {
  static std::vector<Loaded> toolboxes;
  return toolboxes;
}

// The file of the library that holds the code of factory's node type.
std::string fileOf(MURV::_NodeFactory* factory) {
  Dl_info info;
  if (!factory || !dladdr(&typeid(*factory), &info) || !info.dli_fname) return "";
  return info.dli_fname;
}

}  // namespace

bool loadToolboxes(const std::vector<std::string>& names) {
  const bool given = !names.empty();
  for (const std::string& toolbox : given ? names : std::vector<std::string>{defaultToolbox}) {
    // A name without a slash is looked up on the loader's search path, but
    // a user naming a file in the current folder means that file. The
    // default name is never taken from the current folder: a library left
    // there by anyone would run its code in the runner.
    struct stat file;
    const bool here = given && toolbox.find('/') == std::string::npos && stat(toolbox.c_str(), &file) == 0;
    void* library = dlopen((here ? "./" + toolbox : toolbox).c_str(), RTLD_NOW | RTLD_GLOBAL);
    if (!library) {
      say("cannot load " + excerpt(toolbox) + ": " + hostExcerpt(dlerror(), {toolbox}) +
          (given ? "" : "; name its file with --toolbox PATH, or put its folder on LD_LIBRARY_PATH"));
      return false;
    }
    link_map* map = nullptr;
    dlinfo(library, RTLD_DI_LINKMAP, &map);
    loaded().push_back(Loaded{toolbox, map && map->l_name ? map->l_name : ""});
  }
  return true;
}

std::vector<std::string> toolboxesLoaded() {
  std::vector<std::string> names, files;
  for (const Loaded& l : loaded()) {
    names.push_back(l.name);
    files.push_back(l.file);
  }
  for (const std::string& type : MURV::Node::factoryNames()) {
    const std::string file = fileOf(MURV::Node::getFactoryNamed(type));
    if (file.empty() || std::find(files.begin(), files.end(), file) != files.end()) continue;
    files.push_back(file);
    names.push_back(file);
  }
  return names;
}

}  // namespace murvrun

#include "standin/PluginModule.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>

#include "files/InputFile.h"
#endif

namespace standin {

PluginModule::PluginModule(const std::string& path) {
#if defined(_WIN32)
  handle_ = reinterpret_cast<void*>(LoadLibraryA(path.c_str()));
  if (handle_ == nullptr) error_ = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
#else
  // Modules are opened as lists are: a FIFO would hang dlopen until some writer
  // came, and a device or folder is no module. A name without a slash would make
  // dlopen search the library path, so it is taken from the current folder, the
  // file that was checked.
  const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
  orbiculon::InputFile module;
  if (const orbiculon::FileResult opened = module.open(file.c_str()); !opened.ok()) {
    error_ = "cannot load " + path + ": " + orbiculon::describeFileError(opened.error);
    return;
  }
  handle_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* why = dlerror();
    error_ = "cannot load " + path + ": " + (why ? why : "unknown error");
  }
#endif
  if (handle_ == nullptr) return;
  createPlugin_ = reinterpret_cast<PluginObject* (*)()>(symbol("createPlugin"));
  if (createPlugin_ == nullptr) error_ = path + " has no createPlugin export";
}

PluginModule::~PluginModule() {
  if (handle_ == nullptr) return;
#if defined(_WIN32)
  FreeLibrary(static_cast<HMODULE>(handle_));
#else
  dlclose(handle_);
#endif
}

void* PluginModule::symbol(const char* name) const {
  if (handle_ == nullptr) return nullptr;
#if defined(_WIN32)
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
#else
  return dlsym(handle_, name);
#endif
}

std::string PluginModule::text(const char* getterName) const {
  auto getter = reinterpret_cast<Getter>(symbol(getterName));
  const char* value = getter != nullptr ? getter() : nullptr;
  return value != nullptr ? value : "";
}

std::string PluginModule::name() const { return text("getPluginName"); }
std::string PluginModule::description() const { return text("getPluginDescription"); }
std::string PluginModule::author() const { return text("getAuthor"); }
std::string PluginModule::helpFile() const { return text("getHelpFile"); }
std::string PluginModule::guiScript() const { return text("getGUIScript"); }
std::string PluginModule::version() const { return text("getPluginVersion"); }

PluginObject* PluginModule::create() const { return createPlugin_ != nullptr ? createPlugin_() : nullptr; }

#if defined(_WIN32) && !defined(_MSC_VER)
void PluginModule::destroy(PluginObject* object) { object->destroy(); }
#else
void PluginModule::destroy(PluginObject* object) { delete object; }
#endif

} // namespace standin

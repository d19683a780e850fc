#pragma once

#include <memory>
#include <string>

namespace standin {

// The host's view of a plug-in object: its virtual table holds the destructor, then
// execute, then initPlugin.
class PluginObject {
public:
  virtual ~PluginObject() = default;
  virtual bool execute() = 0;
  virtual bool initPlugin() = 0;
};

// A loaded plug-in module and its exported entry points.
class PluginModule {
public:
  // Loads the module; on failure `error()` says why.
  explicit PluginModule(const std::string& path);
  ~PluginModule();
  PluginModule(const PluginModule&) = delete;
  PluginModule& operator=(const PluginModule&) = delete;

  bool loaded() const { return handle_ != nullptr && createPlugin_ != nullptr; }
  const std::string& error() const { return error_; }

  // The identification texts, "" when the module lacks the getter.
  std::string name() const;
  std::string description() const;
  std::string author() const;
  std::string helpFile() const;
  std::string guiScript() const;
  std::string version() const;

  // Creates one plug-in object; null when the module returns null.
  PluginObject* create() const;
  // Destroys an object through its virtual destructor.
  static void destroy(PluginObject* object);

private:
  using Getter = const char* (*)();
  std::string text(const char* getterName) const;
  void* symbol(const char* name) const;

  void* handle_ = nullptr;
  PluginObject* (*createPlugin_)() = nullptr;
  std::string error_;
};

} // namespace standin

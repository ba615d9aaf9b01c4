// The embedded demo script. demo_script.inc is generated from
// examples/demo.bms by embed_text.cmake at build time; it defines
// kDemoScriptBytes, the file's bytes followed by one zero byte.
#include "demo_script.h"

namespace brenmark::tool {

namespace {
#include "demo_script.inc"
}  // namespace

std::string_view DemoScript() {
  return std::string_view(reinterpret_cast<const char*>(kDemoScriptBytes),
                          sizeof kDemoScriptBytes - 1);
}

}  // namespace brenmark::tool

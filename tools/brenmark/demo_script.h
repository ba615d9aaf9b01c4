// The demo script built into the tool: the text of examples/demo.bms,
// embedded at build time so the two cannot differ.
#pragma once

#include <string_view>

namespace brenmark::tool {

std::string_view DemoScript();

}  // namespace brenmark::tool

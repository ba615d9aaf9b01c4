// BRENMARK_API marks what libbrenmark.so exports. The library is built with
// hidden visibility, so a class or function declared without it stays
// inside: the exported symbol list (abi/libbrenmark.symbols) is the binary
// interface, and the build checks it.
#pragma once

#if defined(__GNUC__) || defined(__clang__)
#define BRENMARK_API __attribute__((visibility("default")))
#else
#define BRENMARK_API
#endif

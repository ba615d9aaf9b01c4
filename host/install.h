// Installing the reference host into the engine's one paint manager.
// Header-only: the call is compiled in the caller, which links the engine;
// the host library itself never does.
#pragma once

#include <brenmark/paint_manager.h>

#include "host/reference_host.h"

namespace brenmark::host {

// Makes `host` the active host and copies its record into `Brenmark`. The
// record stays valid after the host is gone: its trampolines then answer
// neutral values instead of reaching a destroyed host.
inline void InstallIntoBrenmark(ReferenceHost& host) {
  host.InstallInto(Brenmark);
}

}  // namespace brenmark::host

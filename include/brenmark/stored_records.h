// Stored-record types of layers and layer stacks: the persistence hooks of
// the interface. The engine passes them only by pointer and never looks
// inside; an embedding that adds persistence gives them their fields.
#pragma once

struct SIDLayer_sr;
struct SIDLayerStack_sr;

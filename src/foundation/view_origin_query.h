// The hook through which a view transform asks the application for a view's
// origin and scale. The paint manager installs a function that forwards to
// its callback record; until then nobody answers.
#pragma once

namespace brenmark {

// Fills the view's integer origin and its scales. The outputs start at 0
// before the call; whatever is left unwritten reads as origin 0, scale 1.
using ViewOriginQuery = void (*)(void* appView, int* originX, int* originY, float* scaleX,
                                 float* scaleY);

// Installs q (null removes it) and returns the previous hook.
ViewOriginQuery SetViewOriginQuery(ViewOriginQuery q);
ViewOriginQuery GetViewOriginQuery();

}  // namespace brenmark

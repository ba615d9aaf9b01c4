// The layer structure of canvases as text: one block per canvas, its
// layers bottom to top (index 1 first, as scripts count them), masks
// indented under the image layer they belong to, then the selection mask.
//
//   canvas 0 (current): 256 x 256, 3 layers, bottom to top, * = current
//          #  kind   active  opacity  name
//          1  image  yes        1.00  "Background"
//     *    2  image  yes        0.50  "Sky"
//          3  mask   no         1.00    "Mask-3" (mask of 2)
//        sel  mask   yes        1.00  "Selection" (selection mask)
#pragma once

#include <iosfwd>

namespace brenmark::tool {

// One canvas; nothing for a handle that names no canvas.
void PrintCanvas(std::ostream& out, int h);
// Every canvas in slot order, separated by blank lines; "no canvases" when
// there are none.
void PrintAllCanvases(std::ostream& out);

}  // namespace brenmark::tool

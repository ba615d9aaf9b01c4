// Diagnostic description of an image, one labelled line per attribute.
#include <brenmark/qv_memory_img.h>

#include <cstdio>

#include "platform/diagnostics.h"

namespace {

const char* ModelName(ilColorModel m) {
  switch (m) {
    case ilGreyMinWhite:
      return "grey: minimum value white";
    case ilGreyMinBlack:
      return "grey: minimum value black";
    case ilRGB:
      return "RGB";
    case ilColorIndex:
      return "color index";
    case ilRGBA:
      return "RGBA";
    case ilHSV:
      return "HSV";
    case ilCMY:
      return "CMY";
    case ilCMYK:
      return "CMYK";
    case ilBGR:
      return "BGR";
    case ilABGR:
      return "ABGR";
    case ilMultiSpectral:
      return "multi-spectral";
    default:
      return "unspecified";
  }
}

const char* SpaceName(ilCoordSpace s) {
  switch (s) {
    case ilUpperLeft:
      return "upper-left (X varies fastest)";
    case ilUpperRight:
      return "upper-right (X varies fastest)";
    case ilLowerRight:
      return "lower-right (X varies fastest)";
    case ilLowerLeft:
      return "lower-left (X varies fastest)";
    case ilLeftUpper:
      return "left-upper (Y varies fastest)";
    case ilRightUpper:
      return "right-upper (Y varies fastest)";
    case ilRightLower:
      return "right-lower (Y varies fastest)";
    case ilLeftLower:
      return "left-lower (Y varies fastest)";
    default:
      return "unspecified";
  }
}

const char* TypeName(ilType t) {
  switch (t) {
    case ilBit:
      return "bit";
    case ilUChar:
      return "unsigned char";
    case ilChar:
      return "char";
    case ilUShort:
      return "unsigned short";
    case ilShort:
      return "short";
    case ilULong:
      return "unsigned long";
    case ilLong:
      return "long";
    case ilFloat:
      return "float";
    case ilDouble:
      return "double";
    default:
      return "unspecified";
  }
}

const char* OrderName(ilOrder o) {
  switch (o) {
    case ilInterleaved:
      return "interleaved";
    case ilSequential:
      return "sequential";
    case ilSeparate:
      return "separate";
    default:
      return "unspecified";
  }
}

// The element range of a type (the image layer keeps no other minimum and
// maximum).
void TypeRange(ilType t, double& lo, double& hi) {
  switch (t) {
    case ilBit:
      lo = 0, hi = 1;
      break;
    case ilUChar:
      lo = 0, hi = 255;
      break;
    case ilChar:
      lo = -128, hi = 127;
      break;
    case ilUShort:
      lo = 0, hi = 65535;
      break;
    case ilShort:
      lo = -32768, hi = 32767;
      break;
    case ilULong:
      lo = 0, hi = 4294967295.0;
      break;
    case ilLong:
      lo = -2147483648.0, hi = 2147483647.0;
      break;
    default:
      lo = 0, hi = 1;
      break;
  }
}

}  // namespace

void ilPrintImageDescription(ilImage* img, const ilTile& tile) {
  if (img == nullptr) return;
  const ilSize s = img->getSize();
  double lo, hi;
  TypeRange(img->getDataType(), lo, hi);
  brenmark::platform::Diagnostic("Color model:\t\t%s\n", ModelName(img->getColorModel()));
  brenmark::platform::Diagnostic("Coordinate space:\t%s\n", SpaceName(img->getCoordSpace()));
  brenmark::platform::Diagnostic("Data type:\t\t%s\n", TypeName(img->getDataType()));
  brenmark::platform::Diagnostic("Dimension order:\t%s\n", OrderName(img->getOrder()));
  brenmark::platform::Diagnostic("Dimensions (x,y,z,c):\t%d, %d, %d, %d\n", s.x, s.y, s.z, s.c);
  brenmark::platform::Diagnostic("Page Size (x,y,z,c):\t%d, %d, %d, %d\n", img->getPageSizeX(),
                                 img->getPageSizeY(), img->getPageSizeZ(), img->getPageSizeC());
  brenmark::platform::Diagnostic("Min/Max:\t\t%g, %g\n", lo, hi);
  const ilPixel& fill = img->getFill();
  brenmark::platform::Diagnostic("Fill Value:\t\t");
  for (int i = 0; i < fill.nc(); ++i)
    brenmark::platform::Diagnostic(i == 0 ? "%g" : ", %g", fill.getElem(i));
  brenmark::platform::Diagnostic("\n");
  brenmark::platform::Diagnostic("Tile (x,y,z,nx,ny,nz):\t%d, %d, %d, %d, %d, %d\n", tile.x, tile.y,
                                 tile.z, tile.nx, tile.ny, tile.nz);
}

// ilPixel: one pixel value of any element type and up to kIlMaxChannels
// channels, held inline (no allocation), as it lies in an interleaved image.
#pragma once
#include <brenmark/export.h>

#include <brenmark/il_types.h>

#include <cstdint>

// Channel numbering. An interleaved pixel is a packed little-endian word with
// channel 0 as its most significant element: channel i of an nc-channel pixel
// is element nc - 1 - i in memory. For the engine's ABGR pixels this puts the
// alpha (channel 0) in bits 24-31 and the bytes in memory in the order R, G,
// B, A; getElem(0) of such a pixel is its alpha. elems() exposes the raw
// bytes in memory order, exactly as they would sit in an image.
//
// Values are copied; a default-constructed pixel is an empty holder of type
// ilAnyType with no channels.
class BRENMARK_API ilPixel {
 public:
  ilPixel() = default;
  // `data` holds nc elements of `type` in memory order; null gives zeros.
  // A channel count outside 0..kIlMaxChannels or a type of unknown size gives
  // an empty holder.
  ilPixel(ilType type, int nc, const void* data = nullptr);

  ilType getDataType() const { return type_; }
  int nc() const { return nc_; }
  // Bytes of the raw elements (ilDataSize(type, nc)).
  int size() const;
  bool empty() const { return nc_ == 0; }

  const void* elems() const { return bytes_; }
  void* elems() { return bytes_; }

  // Channel i as a double (0 for i outside 0..nc-1).
  double getElem(int i) const;
  // Stores v into channel i, clamped to the element type's range; conversion
  // to integer types truncates toward zero and NaN becomes 0.
  void setElem(double v, int i);

  // The same value as another type and channel count: channel i takes
  // channel i of this pixel; channels this pixel lacks become 0.
  ilPixel converted(ilType type, int nc) const;

  // Equal when type, channel count and every raw byte agree.
  bool operator==(const ilPixel& o) const;
  bool operator!=(const ilPixel& o) const { return !(*this == o); }

 private:
  ilType type_ = ilAnyType;
  int nc_ = 0;
  alignas(8) std::uint8_t bytes_[kIlMaxChannels * 8] = {};
};

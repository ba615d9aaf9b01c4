// ilConfig: the layout in which a caller hands pixels to, or takes them from,
// an image: element type, order, channel count, channel map, coordinate space.
#pragma once
#include <brenmark/export.h>

#include <brenmark/il_types.h>

// Channel map. Entry i names the image channel that belongs to the caller's
// channel i (plus chanOffset):
//  - reads (getTile, and the source side of copyTile): caller channel i takes
//    image channel chanList[i]; several entries may name the same image
//    channel (one channel fed to four); an entry naming a channel the image
//    lacks reads as 0;
//  - writes (setTile, fillTile): image channel chanList[i] takes caller
//    channel i (the last such i when several name it);
//  - copies: destination channel i takes source channel chanList[i];
//    destination channels at or beyond nchans are left alone.
// A negative entry means caller channel i is neither read nor written; in a
// copy the destination channel i keeps its value.
//
// Unset fields (ilAnyType, ilAnyOrder, nchans 0, ilSpaceDefault,
// ilModelDefault) mean "the image's own". Without a list the map is the
// identity (channel i <-> image channel i + chanOffset).
struct BRENMARK_API ilConfig {
  ilType type = ilAnyType;
  ilOrder order = ilAnyOrder;
  int nchans = 0;
  int chanList[kIlMaxChannels];
  int chanOffset = 0;
  ilCoordSpace coordSpace = ilSpaceDefault;
  ilColorModel colorModel = ilModelDefault;

  // `chanList` (when not null) holds nchans entries, copied here. nchans
  // above kIlMaxChannels is cut to kIlMaxChannels.
  explicit ilConfig(ilType type = ilAnyType, ilOrder order = ilAnyOrder, int nchans = 0,
                    const int* chanList = nullptr, int chanOffset = 0,
                    ilCoordSpace coordSpace = ilSpaceDefault,
                    ilColorModel colorModel = ilModelDefault);

  // Replaces the map with `n` entries of `list` (identity when null).
  void setChanList(const int* list, int n, int offset = 0);
  // Image channel for caller channel i (negative: not transferred).
  int imageChannel(int i) const;

  bool operator==(const ilConfig& o) const;
  bool operator!=(const ilConfig& o) const { return !(*this == o); }
};

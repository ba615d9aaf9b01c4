// ImageBlender: copies and fills into one image through a painter with a
// chosen blend function (replace, over, under).
#pragma once
#include <brenmark/export.h>

#include <brenmark/il.h>
#include <brenmark/resource.h>

class PaintOps;

// Ownership: a Resource (count starts at 0, the last unref deletes). The
// blender owns its painter (a PaintOps with its own blending letter); the
// target image is not referenced: whoever builds the blender keeps the image
// alive for the blender's life.
class BRENMARK_API ImageBlender : public Resource {
 public:
  enum BlendFunc : int {
    kBlendReplace = 0,  // factors (1, 0)
    kBlendOver = 1,     // (1, 7): the new pixels over the existing ones
    kBlendUnder = 2,    // (9, 1): the new pixels beneath the existing ones
  };

  explicit ImageBlender(ilImage* target);
  ~ImageBlender() override;
  ImageBlender(const ImageBlender&) = delete;
  ImageBlender& operator=(const ImageBlender&) = delete;

  void SetBlendFunc(BlendFunc func);
  // The painter's factor pair read back; a pair that is none of the three
  // puts the painter back to replace and answers kBlendReplace.
  BlendFunc GetBlendFunc();
  // The painter's rect_copy (no configuration, zoom 1) and rect_fill: 0 on
  // success, -1 on failure.
  int copyTile(int x, int y, int nx, int ny, ilImage* src, int srcX, int srcY);
  int fillTile(int x, int y, int nx, int ny, unsigned* pixel);
  ilImage* GetTargetImage();

 private:
  PaintOps* painter_;
};

// Image generators: the pluggable sources of a shape's fill and stroke
// pixels, their controller with its cached image, and the built-in solid
// colour generator.
#pragma once
#include <brenmark/export.h>

#include <brenmark/id_list.h>
#include <brenmark/il_pixel.h>

class ilSmartImage;
class ImageGenerator;
class ImageGntrController;

// A factory makes a new generator for the controller that will own it.
using ImageGeneratorFactory = ImageGenerator* (*)(ImageGntrController* controller);

// Ownership: the controller owns its generator (replaced or destroyed with
// it) and holds one reference on its cached image. It is a plain member of
// the shape parameters and is not copied; Copy() takes over another
// controller's generator type and settings instead.
//
// Cache rule: GetImage(w, h) reuses the cached image while it is at most 8
// pixels wider and taller than asked (bounds width - w and height - h in
// 0..8) and not marked dirty; anything else regenerates it.
class BRENMARK_API ImageGntrController {
 public:
  static constexpr int kReuseSlack = 8;

  ImageGntrController();
  explicit ImageGntrController(const char* type);
  ~ImageGntrController();
  ImageGntrController(const ImageGntrController&) = delete;
  ImageGntrController& operator=(const ImageGntrController&) = delete;

  // False for null and for the type already in use (nothing changes then);
  // otherwise the generator is replaced by one the registry makes for the
  // name (none for an unknown name), the image marked dirty, and true.
  bool SetGeneratorType(const char* name);
  // The generator's type, null without a generator.
  const char* GetGeneratorType() const;
  ImageGenerator* GetGenerator() const { return generator_; }

  // The cached image, regenerated under the rule above; null without a
  // generator. The controller keeps the reference.
  ilSmartImage* GetImage(int w, int h);
  // A copy-on-write image seeded by GetImage(w, h), owned by the caller
  // (count 0); null when there is no image.
  ilSmartImage* GetImageCopy(int w, int h);

  void SetImageDirty(bool dirty) { imageDirty_ = dirty; }
  bool GetImageDirty() const { return imageDirty_; }

  // No generator and no image.
  void ClearAll();
  // The other controller's generator type and settings; the image is
  // dropped and marked dirty.
  void Copy(ImageGntrController* other);

  // Appends name (cut to 127 characters) and factory unless the name is
  // already registered. Null arguments are ignored.
  static void RegisterGeneratorType(const char* name, ImageGeneratorFactory factory);

 private:
  void SetImage(ilSmartImage* image);

  ImageGenerator* generator_ = nullptr;
  bool imageDirty_ = true;
  ilSmartImage* image_ = nullptr;
};

// A source of texture images. The controller owns the generator; the
// generator's pointer back to it is not counted.
class BRENMARK_API ImageGenerator : public IdList {
 public:
  ImageGenerator(ImageGntrController* controller, const char* name);
  virtual ~ImageGenerator() = default;
  ImageGenerator(const ImageGenerator&) = delete;
  ImageGenerator& operator=(const ImageGenerator&) = delete;

  // A new image of at least w x h pixels (count 0), or null.
  virtual ilSmartImage* GetImage(int w, int h);
  // Takes over the other generator's controller; derived generators copy
  // their settings as well.
  virtual void Copy(ImageGenerator* other);

  void SetController(ImageGntrController* c) { controller_ = c; }
  ImageGntrController* GetController() const { return controller_; }
  // Marks the controller's image dirty after a change of settings.
  void NotifyImageNeedsUpdate();

  BRENMARK_ID_LIST_RESOLVERS(ImageGenerator, ImageGenerator, "ImageGenerator")

 private:
  ImageGntrController* controller_;
};

// One colour everywhere: its image is a smart image with the colour as fill
// value and no pages, whatever size is asked for.
class BRENMARK_API ImageGeneratorSolid : public ImageGenerator {
 public:
  static constexpr const char* kTypeName = "ImageGeneratorSolid";

  // Colour (255, 0, 0, 255): opaque red.
  ImageGeneratorSolid(ImageGntrController* controller, const char* name);

  // Each channel truncated to a byte (values in 0..255).
  void SetColor(float r, float g, float b, float a);
  // True when the colour changed (the image is then marked dirty).
  bool SetColor(const ilPixel& color);
  const ilPixel& GetColor() const { return color_; }
  void GetColor(int& channels, float& r, float& g, float& b, float& a) const;

  ilSmartImage* GetImage(int w, int h) override;
  void Copy(ImageGenerator* other) override;

  BRENMARK_ID_LIST_RESOLVERS(ImageGeneratorSolid, ImageGenerator, "ImageGeneratorSolid")

 private:
  ilPixel color_;
};

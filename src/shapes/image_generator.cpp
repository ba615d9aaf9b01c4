// Image generators: the registry of generator types, the controller's image
// cache and the built-in solid colour generator.
#include "brenmark/image_generator.h"

#include <cstring>
#include <string>
#include <vector>

#include "brenmark/il.h"
#include "brenmark/paint_manager.h"
#include "brenmark/smart_image.h"

namespace {

struct RegistryEntry {
  std::string name;  // at most 127 characters
  ImageGeneratorFactory factory;
};

std::vector<RegistryEntry>& Registry() {
  static std::vector<RegistryEntry> entries;
  return entries;
}

bool g_builtins_registered = false;

ImageGenerator* MakeSolid(ImageGntrController* controller) {
  return new ImageGeneratorSolid(controller, ImageGeneratorSolid::kTypeName);
}

void CompleteRegistry() {
  if (g_builtins_registered) return;
  g_builtins_registered = true;
  ImageGntrController::RegisterGeneratorType(ImageGeneratorSolid::kTypeName, MakeSolid);
  if (BrenmarkCallbacks* cb = Brenmark.CB(); cb->GeneratorsRegistered) cb->GeneratorsRegistered();
}

std::string CutName(const char* name) {
  return std::string(name, strnlen(name, IdList::kIdSize - 1));
}

}  // namespace

// ---- ImageGntrController

ImageGntrController::ImageGntrController() : ImageGntrController(ImageGeneratorSolid::kTypeName) {}

ImageGntrController::ImageGntrController(const char* type) {
  SetGeneratorType(type);
}

ImageGntrController::~ImageGntrController() {
  delete generator_;
  if (image_) image_->unref();
}

void ImageGntrController::RegisterGeneratorType(const char* name, ImageGeneratorFactory factory) {
  if (!name || !factory) return;
  const std::string n = CutName(name);
  for (const RegistryEntry& e : Registry()) {
    if (e.name == n) return;
  }
  Registry().push_back({n, factory});
}

bool ImageGntrController::SetGeneratorType(const char* name) {
  CompleteRegistry();
  if (!name) return false;
  if (generator_ && std::strcmp(generator_->GetCurrID(), name) == 0) return false;
  delete generator_;
  generator_ = nullptr;
  const std::string n = CutName(name);
  for (const RegistryEntry& e : Registry()) {
    if (e.name == n) {
      generator_ = e.factory(this);
      break;
    }
  }
  imageDirty_ = true;
  return true;
}

const char* ImageGntrController::GetGeneratorType() const {
  return generator_ ? generator_->GetCurrID() : nullptr;
}

void ImageGntrController::SetImage(ilSmartImage* image) {
  if (image) image->ref();
  if (image_) image_->unref();
  image_ = image;
  imageDirty_ = false;
}

ilSmartImage* ImageGntrController::GetImage(int w, int h) {
  if (!generator_) return nullptr;
  bool regenerate = imageDirty_ || !image_;
  if (!regenerate) {
    const ilTile& b = image_->getBounds();
    const int dw = b.nx - w, dh = b.ny - h;
    regenerate = dw < 0 || dw > kReuseSlack || dh < 0 || dh > kReuseSlack;
  }
  if (regenerate) SetImage(generator_->GetImage(w, h));
  return image_;
}

ilSmartImage* ImageGntrController::GetImageCopy(int w, int h) {
  ilSmartImage* image = GetImage(w, h);
  return image ? new ilSmartImage(image, 0, 0, 0, -1) : nullptr;
}

void ImageGntrController::ClearAll() {
  SetGeneratorType("");
  if (image_) image_->unref();
  image_ = nullptr;
}

void ImageGntrController::Copy(ImageGntrController* other) {
  if (!other || other == this) return;
  const char* type = other->GetGeneratorType();
  SetGeneratorType(type ? type : "");
  if (generator_ && other->generator_) {
    generator_->Copy(other->generator_);
    generator_->SetController(this);
  }
  if (image_) image_->unref();
  image_ = nullptr;
  imageDirty_ = true;
}

// ---- ImageGenerator

ImageGenerator::ImageGenerator(ImageGntrController* controller, const char* name)
    : IdList(name), controller_(controller) {
  SetID("ImageGenerator");
}

ilSmartImage* ImageGenerator::GetImage(int, int) {
  return nullptr;
}

void ImageGenerator::Copy(ImageGenerator* other) {
  if (other) controller_ = other->controller_;
}

void ImageGenerator::NotifyImageNeedsUpdate() {
  if (controller_) controller_->SetImageDirty(true);
}

// ---- ImageGeneratorSolid

ImageGeneratorSolid::ImageGeneratorSolid(ImageGntrController* controller, const char* name)
    : ImageGenerator(controller, name), color_(ilUChar, 4) {
  SetID(kTypeName);
  SetColor(255.0f, 0.0f, 0.0f, 255.0f);
}

void ImageGeneratorSolid::SetColor(float r, float g, float b, float a) {
  const unsigned char bytes[4] = {static_cast<unsigned char>(r), static_cast<unsigned char>(g),
                                  static_cast<unsigned char>(b), static_cast<unsigned char>(a)};
  color_ = ilPixel(ilUChar, 4, bytes);
}

bool ImageGeneratorSolid::SetColor(const ilPixel& color) {
  if (color == color_) return false;
  color_ = color;
  NotifyImageNeedsUpdate();
  return true;
}

void ImageGeneratorSolid::GetColor(int& channels, float& r, float& g, float& b, float& a) const {
  // Channel i of a packed pixel is byte 3 - i: the bytes run R, G, B, A.
  channels = color_.nc();
  r = static_cast<float>(color_.getElem(3));
  g = static_cast<float>(color_.getElem(2));
  b = static_cast<float>(color_.getElem(1));
  a = static_cast<float>(color_.getElem(0));
}

ilSmartImage* ImageGeneratorSolid::GetImage(int, int) {
  return new ilSmartImage(color_);
}

void ImageGeneratorSolid::Copy(ImageGenerator* other) {
  ImageGeneratorSolid* solid = ResolvePtr(other);
  if (!solid) return;
  ImageGenerator::Copy(other);
  color_ = solid->color_;
}

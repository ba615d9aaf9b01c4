// LayerStack: proxies over a set of layers (begin, revert, end with the
// application's decision), transform previews and final transforms, the
// canvas-rotation flag and flipping a layer.
#include <algorithm>

#include "brenmark/layer_stack.h"
#include "brenmark/paint_manager.h"
#include "brenmark/paint_ops.h"
#include "brenmark/smart_image.h"

namespace {

// The current painter's low-order-bit image (the dither remainder of its
// target) is meaningless for working images, so a proxy on the current
// layer takes it away and gives it back at the end. One process-wide slot
// holding one reference; `owner` is the stack that took it.
struct SavedLowOrderBits {
  ilSmartImage* image = nullptr;
  const LayerStack* owner = nullptr;
};
SavedLowOrderBits g_savedLowBits;

void DropSavedLowOrderBits() {
  if (g_savedLowBits.image) g_savedLowBits.image->unref();
  g_savedLowBits = SavedLowOrderBits{};
}

}  // namespace

void LayerStack::RetargetProxyPainter() {
  if (!current_ || !plainPainter_) return;
  const ApplicationMethod m = Brenmark.GetPaintApplication();
  const bool stencil = m == kApplyStencilAdd || m == kApplyStencilSubtract;
  if (stencil) current_->StartStencilling();
  ilImage* target = stencil ? current_->GetStencil() : current_->GetImage();
  // The painter's letter stays; only the image it writes changes.
  if (target) plainPainter_->retarget(target, true, true);
}

void LayerStack::RefreshCompositesAfter(const int* indices, int count) {
  for (int i = 0; i < count; ++i) {
    Layer* l = GetLayerFromIndex(indices[i]);
    if (l && l != current_) {
      RebuildBelowComposite();
      RebuildAboveComposite();
      return;
    }
  }
}

void LayerStack::BeginProxy(const ProxyParameters& p, int count, int* indices) {
  CheckProxyState();
  // Layers left in a proxy that was forced out get their own images back
  // before the new proxy forgets them.
  for (int i = 0; i < proxyCount_; ++i) {
    if (Layer* l = GetLayerFromIndex(proxyIndices_[i])) l->EndProxy();
  }
  if (count < 0 || !indices) count = 0;
  proxyParameters_ = p;
  for (int i = 0; i < count; ++i) {
    Layer* l = GetLayerFromIndex(indices[i]);
    if (!l || l->InProxy()) continue;
    l->ShrinkBounds(false, false);
    l->BeginProxy(p);
    if (l != current_ || !plainPainter_) continue;
    RetargetProxyPainter();
    DropSavedLowOrderBits();
    if (ilSmartImage* low = plainPainter_->GetLowOrderBitImage()) {
      low->ref();
      g_savedLowBits = SavedLowOrderBits{low, this};
    }
    plainPainter_->SetLowOrderBitImage(nullptr);
  }
  delete[] proxyIndices_;
  proxyIndices_ = count > 0 ? new int[count] : nullptr;
  std::copy(indices, indices + count, proxyIndices_);
  proxyCount_ = count;
  inProxy_ = true;
}

// The proxy is torn down completely (layers restored, painter given back,
// count, indices and flag cleared) before the application's callbacks run:
// a callback may paint the layers, begin a new proxy or end one, and must
// find the stack idle with its own images.
void LayerStack::EndProxy() {
  if (proxyCount_ == 0) {
    inProxy_ = false;
    return;
  }
  const int count = proxyCount_;
  int* indices = proxyIndices_;
  const ProxyParameters p = proxyParameters_;
  proxyParameters_ = ProxyParameters();
  proxyCount_ = 0;
  proxyIndices_ = nullptr;
  inProxy_ = false;
  bool proxied = false;
  for (int i = 0; i < count; ++i) {
    Layer* l = GetLayerFromIndex(indices[i]);
    if (!l) continue;
    proxied = proxied || l->InProxy();
    l->EndProxy();
    l->ShrinkBounds(false, false);
    if (l != current_) continue;
    RetargetProxyPainter();
    if (g_savedLowBits.owner == this && plainPainter_)
      plainPainter_->SetLowOrderBitImage(g_savedLowBits.image);
  }
  if (g_savedLowBits.owner == this) DropSavedLowOrderBits();
  // The cached composites showed the previews of the other layers.
  if (proxied) RefreshCompositesAfter(indices, count);
  if (p.accept) {
    // A callback may delete this stack: keep it alive until the redraw
    // knows whether anyone else still holds it.
    ref();
    if (p.apply && p.accept(count, indices)) p.apply(count, indices);
    delete[] indices;
    indices = nullptr;
    if (RefCount() == 1) {
      unref();
      return;
    }
    GetCurrentLayerPainter();
    DamageRegion(GetCanvasBounds());
    ForceUpdate();
    Notify();
    unref();
  }
  delete[] indices;
}

void LayerStack::CheckProxyState() {
  if (inProxy_) EndProxy();
}

void LayerStack::RevertProxy() {
  for (int i = 0; i < proxyCount_; ++i) {
    Layer* l = GetLayerFromIndex(proxyIndices_[i]);
    if (!l) continue;
    l->RevertProxy();
    l->ShrinkBounds(false, false);
    if (l == current_) RetargetProxyPainter();
  }
  if (inProxy_) RefreshCompositesAfter(proxyIndices_, proxyCount_);
}

void LayerStack::ProxyXFormLayers(const LayerStackTransform& t, FilterMethod minify,
                                  FilterMethod magnify) {
  if (!inProxy_) return;
  for (int i = 0; i < proxyCount_; ++i) {
    Layer* l = GetLayerFromIndex(proxyIndices_[i]);
    if (!l) continue;
    l->SetLayerStackOffset(offsetX_, offsetY_);
    l->ProxyXForm(t, minify, magnify);
    if (l == current_) RetargetProxyPainter();
  }
  RefreshCompositesAfter(proxyIndices_, proxyCount_);
  GetCurrentLayerPainter();
  DamageRegion(GetCanvasBounds());
  ForceUpdate();
}

void LayerStack::XFormImageLayers(const LayerStackTransform& t, int count, int* indices,
                                  FilterMethod minify, FilterMethod magnify) {
  if (count < 0 || !indices) return;
  // The layers' proxies end in the transform; the stack's ends with them.
  CheckProxyState();
  for (int i = 0; i < count; ++i) {
    Layer* l = GetLayerFromIndex(indices[i]);
    if (!l) continue;
    l->SetLayerStackOffset(offsetX_, offsetY_);
    l->XForm(t, minify, magnify);
    l->ShrinkBounds(false, false);
  }
  RefreshCompositesAfter(indices, count);
  if (PaintOps* painter = GetCurrentLayerPainter()) painter->SetLowOrderBitImage(nullptr);
  DamageRegion(GetCanvasBounds());
  ForceUpdate();
}

void LayerStack::FlipImageLayer(bool horizontal, bool vertical, void* layer) {
  if (!horizontal && !vertical) return;
  Layer* l = GetLayerFromHandle(layer);
  if (!l) return;
  // A flip of working images would be lost when the proxy ends.
  if (l->InProxy()) CheckProxyState();
  l->Flip(horizontal, vertical);
  int index = GetIndexFromLayer(l);
  RefreshCompositesAfter(&index, 1);
  DamageRegion(GetCanvasBounds());
  UpdateImagePlaneBits();
  Notify();
}

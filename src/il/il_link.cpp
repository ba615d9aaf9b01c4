// ilLink: input/output links and the altered-bits protocol.
#include <brenmark/il_image.h>

#include <algorithm>

bool ilLink::derivesFrom(int classId) const {
  return classId == ilLinkClassId;
}

const char* ilLink::getClassName(int level) const {
  return level == 0 ? "ilLink" : nullptr;
}

ilLink::~ilLink() {
  setLinkInput(nullptr);
  // Dependents lose their input rather than keep a pointer to a dead link.
  for (ilLink* out : outputs_) {
    out->input_ = nullptr;
    out->altered_ |= ilInputAltered;
    out->MarkOutputsStale();
  }
}

// Bits set without going through setAltered do not reach the dependents;
// their next resetCheck must still walk down to this link.
void ilLink::MarkOutputsStale() {
  for (ilLink* out : outputs_) {
    if (out->inputStale_) continue;
    out->inputStale_ = true;
    out->MarkOutputsStale();
  }
}

void ilLink::reset() {
  setStatus(ilOkay);
}

void ilLink::alterAction(ilLink* /*changed*/, unsigned bits) {
  setAltered(bits);
}

// Nothing pending here means nothing pending up the input chain: every
// alteration reaches the dependents at once (setAltered), except one that
// arrives while this link resets, which inputStale_ keeps. So the chain is
// walked only when something changed; attribute queries ask this on every
// call, and images seeded by undo snapshots sit on chains of several links.
ilStatus ilLink::resetCheck() {
  if (inReset_ || (altered_ == 0 && !inputStale_)) return status_;
  inputStale_ = false;
  if (input_ != nullptr) input_->resetCheck();
  if (altered_ != 0) {
    inReset_ = true;
    altered_ = 0;
    reset();
    altered_ = 0;  // changes made by reset() itself are part of the reset
    inReset_ = false;
  }
  return status_;
}

void ilLink::setAltered(unsigned bits) {
  if (bits == 0) return;
  if (!inReset_) altered_ |= bits;
  for (ilLink* out : outputs_) {
    if (out->inReset_) out->inputStale_ = true;
    out->alterAction(this, bits);
  }
}

void ilLink::setLinkInput(ilLink* input) {
  if (input == input_) return;
  if (input_ != nullptr) {
    auto& outs = input_->outputs_;
    outs.erase(std::remove(outs.begin(), outs.end(), this), outs.end());
  }
  input_ = input;
  if (input_ != nullptr) input_->outputs_.push_back(this);
  altered_ |= ilInputAltered;
  MarkOutputsStale();
}

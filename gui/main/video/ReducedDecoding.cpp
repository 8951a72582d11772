#include "gui/main/video/ReducedDecoding.h"

#include <optional>

#include "core/ViewController.h"
#include "core/decode/SizeFrame.h"
#include "core/dvr/DvrSlot.h"
#include "gui/support/CoreContext.h"

std::vector<uint32_t> ReducedDecoding::Masks(const std::vector<Shown>& shown) {
    std::vector<uint32_t> small(kMaxDvrs, 0);
    std::vector<uint32_t> large(kMaxDvrs, 0);
    for (const Shown& s : shown) {
        if (s.dvr < 0 || s.dvr >= kMaxDvrs || s.channel < 0 || s.channel >= kMaxChannels) {
            continue;
        }
        const uint32_t bit = 1u << s.channel;
        const bool halved = s.pictureWidth > 0 && s.pictureHeight > 0 &&
                            s.width * 2 <= s.pictureWidth && s.height * 2 <= s.pictureHeight;
        (halved ? small : large)[s.dvr] |= bit;
    }
    for (int d = 0; d < kMaxDvrs; ++d) {
        small[d] &= ~large[d];  // the largest pane counts
    }
    return small;
}

std::vector<uint32_t> ReducedDecoding::ShownMasks(const std::vector<Shown>& shown) {
    std::vector<uint32_t> masks(kMaxDvrs, 0);
    for (const Shown& s : shown) {
        if (s.dvr >= 0 && s.dvr < kMaxDvrs && s.channel >= 0 && s.channel < kMaxChannels) {
            masks[s.dvr] |= 1u << s.channel;
        }
    }
    return masks;
}

std::vector<ReducedDecoding::Shown> ReducedDecoding::ShownNow(double ratio,
                                                              double magnified) const {
    std::vector<Shown> shown;
    const WallQuery* wall = context_.query();
    if (!wall) {
        return shown;
    }
    const bool zoomed = wall->LayoutCopy().iShowChanNum == 1;
    for (int pane = 0; pane < kLayoutPanes; ++pane) {
        const std::optional<PaneRect> rect = wall->ShownRect(pane);
        const std::optional<WallQuery::PaneSource> source =
            rect ? wall->SourceOfPane(pane) : std::nullopt;
        if (!source || source->dvr < 0 || source->dvr >= kMaxDvrs) {
            continue;
        }
        const std::optional<PictureGeometry> picture =
            SizeFrameGeometry(wall->Figures(source->dvr, source->channel).sizeFrame);
        const double scale = ratio * (zoomed ? magnified : 1.0);
        shown.push_back(Shown{source->dvr, source->channel, rect->width * scale,
                              rect->height * scale, picture ? picture->width : 0,
                              picture ? picture->height : 0});
    }
    return shown;
}

void ReducedDecoding::Send(const std::vector<uint32_t>& masks, std::array<uint32_t, kMaxDvrs>& sent,
                           void (DvrSlot::*set)(uint32_t)) {
    ViewController* vc = context_.controller();
    if (!vc) {
        return;
    }
    for (int d = 0; d < kMaxDvrs; ++d) {
        if (masks[d] != sent[d]) {
            sent[d] = masks[d];
            (vc->Slot(d).*set)(masks[d]);
        }
    }
}

void ReducedDecoding::Update(double ratio, double magnified) {
    const std::vector<Shown> shown = ShownNow(ratio, magnified);
    if (context_.query()) {  // without the wall nothing is known to be unshown
        Send(ShownMasks(shown), shownSent_, &DvrSlot::SetShownChannels);
    }
    if (!held_) {
        Send(Masks(shown), reducedSent_, &DvrSlot::SetReducedChannels);
    }
}

bool ReducedDecoding::HoldFull() {
    const WallQuery* wall = context_.query();
    awaited_.clear();
    if (!wall) {
        return false;
    }
    for (const Shown& s : ShownNow(1.0, 1.0)) {
        const WallQuery::ChannelFigures figures = wall->Figures(s.dvr, s.channel);
        if (figures.reduced) {
            awaited_.push_back(Awaited{s.dvr, s.channel, figures.fullPictures});
        }
    }
    if (awaited_.empty()) {
        return false;
    }
    held_ = true;
    Send(std::vector<uint32_t>(kMaxDvrs, 0), reducedSent_, &DvrSlot::SetReducedChannels);
    return true;
}

bool ReducedDecoding::FullPicturesIn(uint32_t pictures) const {
    const WallQuery* wall = context_.query();
    for (const Awaited& a : awaited_) {
        if (!wall || wall->Figures(a.dvr, a.channel).fullPictures - a.fullPictures < pictures) {
            return false;
        }
    }
    return true;
}

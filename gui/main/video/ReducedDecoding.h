// Which channels the surface shows at all, and which so small that their deblocking filter is
// wasted work. Whenever either changes, each DVR slot is handed the mask of its channels some
// pane shows (SetShownChannels: the others cost it no decoding), and the mask of those whose
// largest pane is at most half its picture's width and height (in device pixels, a magnified zoom
// counted: SetReducedChannels, decoded without the filter). The slot switches a channel back to
// full, or to decoding, at its next key frame, which it asks for.
//
// A snapshot wants whole pictures: HoldFull makes every channel full until ReleaseFull, and
// FullPicturesIn tells when the channels it found reduced have shown pictures decoded in full.
//
// Threads: GUI thread only. The controller is reached through the view's context.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "core/support/Limits.h"

class CoreContext;
class DvrSlot;

class ReducedDecoding {
  public:
    explicit ReducedDecoding(CoreContext& context) : context_(context) {
        shownSent_.fill(0xFFFFFFFFu);  // as a slot starts: the first update tells every DVR
    }

    // One pane as the surface shows it: its source and its size on the screen in device pixels,
    // and the size of the picture it shows (0 while unknown).
    struct Shown {
        int dvr;
        int channel;
        double width;
        double height;
        int pictureWidth;
        int pictureHeight;
    };
    // The channels of each DVR to decode reduced: those shown whose every pane is at most half
    // the picture in both directions. A channel of unknown picture size is not reduced.
    static std::vector<uint32_t> Masks(const std::vector<Shown>& shown);
    // The channels of each DVR some pane shows.
    static std::vector<uint32_t> ShownMasks(const std::vector<Shown>& shown);

    // Hands each DVR its masks for what the surface shows now: `ratio` device pixels to a unit,
    // the zoomed pane's picture magnified `magnified` times.
    void Update(double ratio, double magnified);

    // Every channel decodes in full from its next key frame on. True when a shown channel
    // decodes reduced now (the snapshot then waits for FullPicturesIn); false (nothing held)
    // when none does.
    bool HoldFull();
    // Whether each channel HoldFull found reduced has decoded `pictures` pictures in full since.
    bool FullPicturesIn(uint32_t pictures) const;
    // The channels follow the panes again from the next Update.
    void ReleaseFull() {
        held_ = false;
        awaited_.clear();
    }

  private:
    std::vector<Shown> ShownNow(double ratio, double magnified) const;
    // Hands each slot whose mask differs from what `sent` says it holds its mask, through `set`.
    void Send(const std::vector<uint32_t>& masks, std::array<uint32_t, kMaxDvrs>& sent,
              void (DvrSlot::*set)(uint32_t));

    CoreContext& context_;
    std::array<uint32_t, kMaxDvrs> reducedSent_{};  // the reduced mask each slot holds now
    std::array<uint32_t, kMaxDvrs> shownSent_;      // the shown mask each slot holds now
    bool held_ = false;
    struct Awaited {
        int dvr;
        int channel;
        uint32_t fullPictures;  // the channel's count when the hold began
    };
    std::vector<Awaited> awaited_;
};

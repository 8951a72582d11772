// quillmarsh-export: a DVR's recorded files of a day, or clips of a time range exported as MP4
// files, through the client's own connection, playback and receive code, without a window.
// Results go to standard output, the DVR's refusals and failures to standard error.
#include <cstdio>
#include <ctime>
#include <memory>
#include <thread>
#include <vector>

#include "core/ViewController.h"
#include "core/dvr/DvrSlot.h"
#include "core/export/ClipExport.h"
#include "core/export/ClipName.h"
#include "core/playback/TimeMap.h"
#include "core/ports/HeadlessUi.h"
#include "tools/export/ExportOptions.h"

namespace {

using namespace std::chrono_literals;

enum Exit { kDone = 0, kDvrFailed = 1, kBadOptions = 2, kWriteFailed = 3, kNothing = 4 };

std::string Clock(int64_t second) {
    char text[16];
    const auto s = static_cast<int>(second);
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", s / 3600, s / 60 % 60, s % 60);
    return text;
}

// The recorded files that start on the day at `dayStart` (DVR seconds), every page of the search.
std::vector<GST_FILESHOWINFO> DayFiles(DvrSlot& slot, const ExportOptions& o, int64_t dayStart) {
    std::vector<GST_FILESHOWINFO> files;
    const int32_t key = (o.year - 1900) * 10000 + (o.month - 1) * 100 + o.day;
    struct Page {
        RecordListPage entries;
    };
    auto page = std::make_unique<Page>();
    int32_t pages = 1;
    for (int32_t p = 0; p < std::min(pages, kMaxSearchPages); ++p) {
        *page = {};
        const int32_t n = slot.TimeToSearchRecList(key, &page->entries, p);
        if (n <= 0) {
            break;
        }
        pages = n;
        for (const GST_FILESHOWINFO& f : page->entries) {
            if (f.fileStartTime >= dayStart && f.fileStartTime < dayStart + kDaySeconds &&
                f.fileEndTime >= f.fileStartTime) {
                files.push_back(f);
            }
        }
    }
    return files;
}

int PrintRecords(DvrSlot& slot, const ExportOptions& o, int64_t dayStart) {
    std::printf("%s\n", RecordedRangeText(DiskRange(slot.MachineInfo())).c_str());
    for (const GST_FILESHOWINFO& f : DayFiles(slot, o, dayStart)) {
        // Event flags are bytes from the DVR: any non-zero value counts as set.
        std::printf(
            "{\"start\": \"%s\", \"end\": \"%s\", \"cam\": %u, \"motion\": %d, \"loss\": %d, "
            "\"sensor\": %d}\n",
            Clock(f.fileStartTime - dayStart).c_str(),
            Clock(std::min<int64_t>(f.fileEndTime - dayStart, kDaySeconds)).c_str(),
            static_cast<uint32_t>(f.iCam), f.event.motion != 0, f.event.loss != 0,
            f.event.sensor != 0);
    }
    return kDone;
}

// Takes the pictures off the display queue (nothing shows them) while the export writes.
void Receive(DvrSlot& slot, const ClipExport& clips) {
    NET_FRAME_HEADER h;
    const uint8_t* data = nullptr;
    while (!clips.done() && slot.NetCtrl.NetWorking.load() == 1) {
        while (slot.NetCtrl.queue.PeekOldest(1, 0ms, h, data)) {
            slot.NetCtrl.queue.PopOldest();
        }
        std::this_thread::sleep_for(20ms);
    }
}

int ExportClips(DvrSlot& slot, const ExportOptions& o, int64_t dayStart) {
    const int64_t start = FirstRecordedSecond(DayFiles(slot, o, dayStart), o.channels,
                                              dayStart + o.from, dayStart + o.to);
    if (start < 0) {
        std::fprintf(stderr, "quillmarsh-export: nothing recorded in the range\n");
        return kNothing;
    }
    ClipExport clips(
        {o.outDir, o.server, o.year, o.month, o.day, dayStart, o.from, o.to, o.channels});
    slot.SetTap(&clips.tap(), o.channels);
    slot.NetCtrl.Results.store(0);
    const auto startSecond = static_cast<int32_t>(start - dayStart);
    const int32_t result = slot.NetPlayFile(startSecond, o.to, o.channels, 0, 1);
    if (result < 0) {
        slot.SetTap(nullptr, 0);
        const std::string at = Clock(startSecond).substr(0, 5);
        std::fprintf(stderr, "%s\n",
                     result == status::Code(status::Play::NoRecordingAtStart)
                         ? ("No recording at " + at).c_str()
                     : result == status::Code(status::Play::Refused)
                         ? ("The DVR refused to play from " + at).c_str()
                         : "Net error");
        return kDvrFailed;
    }
    clips.Start();
    Receive(slot, clips);
    slot.StopNetPlayFile();
    slot.SetTap(nullptr, 0);
    clips.End();  // the DVR may be gone: what came is written
    while (!clips.done()) {
        std::this_thread::sleep_for(5ms);
    }
    int code = kNothing;
    for (const ClipExport::Outcome& c : clips.outcomes()) {
        if (c.framesLost) {
            std::fprintf(stderr, "quillmarsh-export: frames of channel %d lost\n", c.channel + 1);
        }
        if (c.result == ClipWriter::Result::Written) {
            std::printf("%s %lld\n", c.path.c_str(), static_cast<long long>(c.pictures));
            code = code == kNothing ? kDone : code;
        } else if (c.result == ClipWriter::Result::Failed) {
            std::fprintf(stderr, "quillmarsh-export: %s\n", c.error.c_str());
            code = kWriteFailed;
        }
    }
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    const std::optional<ExportOptions> o = ParseExportOptions(argc, argv, error);
    if (!o) {
        if (error.empty()) {
            std::printf("%s", kExportUsage);
            return kDone;
        }
        std::fprintf(stderr, "quillmarsh-export: %s\n%s", error.c_str(), kExportUsage);
        return kBadOptions;
    }
    std::tm day{};
    day.tm_year = o->year - 1900;
    day.tm_mon = o->month - 1;
    day.tm_mday = o->day;
    const int64_t dayStart = timegm(&day);  // the DVR's seconds are on the UTC calendar

    HeadlessUi ui;
    auto controller = std::make_unique<ViewController>(ui);
    SAVE_INFO_STRUCT entry = NewSaveInfo(o->server, o->user, o->password, "export");
    entry.cam = 0;  // no live pictures: only the played ones
    controller->list().Store(0, entry);
    if (controller->PrepareDvr(0) != 1) {
        std::fprintf(stderr, "quillmarsh-export: the decoders or buffers could not be created\n");
        return kDvrFailed;
    }
    NetCtrl_Struct& block = controller->GetNetCtrlStruct(0);
    const status::Connect connected = controller->ConnectAndReport(block, 0);
    if (block.NetWorking.load() != 1) {
        const std::optional<std::string> message = ui.FirstMessage();
        std::fprintf(stderr, "%s\n",
                     connected == status::Connect::NoColonInServer ? "no ':' in server text"
                     : message                                     ? message->c_str()
                                                                   : "failed");
        return kDvrFailed;
    }
    DvrSlot& slot = controller->Slot(0);
    slot.GetMachineDiskInfo();
    const int code =
        o->records ? PrintRecords(slot, *o, dayStart) : ExportClips(slot, *o, dayStart);
    std::fflush(stdout);
    controller->StopDvrThreads();
    return code;
}

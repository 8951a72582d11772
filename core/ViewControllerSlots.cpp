// The controller's forwards to a DVR's slot (connection, transfer, receive path, live-view and
// playback commands), to the playback session, and what the widgets read of the slots.
#include <stdexcept>
#include <string>

#include "core/ViewController.h"
#include "core/dvr/DvrSlot.h"
#include "core/net/Lookup.h"

DvrSlot& ViewController::SlotOf(const NetCtrl_Struct& b) {
    return Slot(b.NetID.load());
}

DvrSlot& ViewController::SlotOf(const NetCtrl_Struct& b, int dvr) {
    DvrSlot& slot = Slot(dvr);
    if (&slot.NetCtrl != &b) {
        throw std::invalid_argument("the block given is not DVR " + std::to_string(dvr) + "'s");
    }
    return slot;
}

NetCtrl_Struct& ViewController::GetNetCtrlStruct(int dvr) {
    return Slot(dvr).NetCtrl;
}

bool ViewController::AttemptRunning(int dvr) const {
    return ValidDvr(dvr) && slots_[dvr]->AttemptRunning();
}

NodeIcon ViewController::NodeIconFor(int dvr) const {
    if (!ValidDvr(dvr)) {
        return NodeIcon::Disconnected;
    }
    const NetCtrl_Struct& b = slots_[dvr]->NetCtrl;
    const int32_t status = b.CurNetStatus.load();
    if (status == NET_DISCONNECTED || status == NET_ERROR) {
        return NodeIcon::Disconnected;
    }
    return b.iUsermode.load() == kSuperUserMode ? NodeIcon::SuperUser : NodeIcon::User;
}

bool ViewController::PlayingBack(int dvr) const {
    return dvr >= 0 && dvr < kMaxDvrs && Slot(dvr).NetCtrl.ViewOrBack.load() == VIEW_PLAYBACK;
}

WallQuery::ChannelFigures ViewController::Figures(int dvr, int channel) const {
    if (dvr < 0 || dvr >= kMaxDvrs || channel < 0 || channel >= kMaxChannels) {
        return {};
    }
    const DvrSlot& slot = Slot(dvr);
    const ChannelStats& s = slot.NetCtrl.stats[channel];
    const DvrSlot::MemoryFigures m = slot.Memory();
    return {s.decoded.load(std::memory_order_relaxed),
            s.bytes.load(std::memory_order_relaxed),
            s.sizeFrame.load(std::memory_order_relaxed),
            s.dropped.load(std::memory_order_relaxed),
            (slot.reducedChannels().applied() & (1u << channel)) != 0,
            slot.reducedChannels().FullPictures(channel),
            m.queueBlocksMade + m.decodersMade + m.payloadGrowths};
}

// ---- A DVR's slot ----

int32_t ViewController::PrepareDvr(int dvr) {
    if (!ValidDvr(dvr)) {
        return -1;
    }
    // Without a video surface (the probe, a benchmark) the caller takes the pictures itself.
    return Slot(dvr).Prepare(display_.load() != nullptr);
}

int32_t ViewController::initNet(NetCtrl_Struct& b, int dvr) {
    return ValidDvr(dvr) ? SlotOf(b, dvr).initNet() : -1;
}

void ViewController::StartReceiveThread(int dvr) {
    if (ValidDvr(dvr)) {
        Slot(dvr).StartReceiveThread(display_.load() != nullptr);
    }
}

void ViewController::StopDvrThreads() {
    // What the operator's last commands queued (a held PTZ button's release above all: the
    // camera would go on moving) goes out first; a DVR that does not take it is not waited for
    // long.
    CommandsIdle(std::chrono::milliseconds(1000));
    // Every wait for a peer ends now: connects, lookups, login replies, pauses.
    cancel_.Raise();
    session_.Stop();  // a waiting request ends at the signal
    for (auto& slot : slots_) {
        slot->Stop();
    }
}

status::Connect ViewController::NetConnect(NetCtrl_Struct& b, int dvr) {
    return SlotOf(b, dvr).NetConnect();
}

status::Connect ViewController::ConnectAndReport(NetCtrl_Struct& b, int dvr) {
    return SlotOf(b, dvr).ConnectAndReport();
}

status::Login ViewController::SetParameter(NetCtrl_Struct& b, int dvr) {
    return SlotOf(b, dvr).SetParameter();
}

status::Lookup ViewController::GetDvrIP(const std::string& lookupHost,
                                        const std::string& identifier, NET_REQUEST& r) {
    return LookupDvr(lookupHost, identifier, r, limits, cancel_.fd());
}

int32_t ViewController::SendData(NetCtrl_Struct& b, const void* data, int len) {
    return SlotOf(b).SendData(data, len);
}

int32_t ViewController::ReadData(NetCtrl_Struct& b, void* data, int len,
                                 std::optional<std::chrono::milliseconds> limit) {
    return SlotOf(b).ReadData(data, len, limit);
}

int32_t ViewController::Disconnect(NetCtrl_Struct& b) {
    return SlotOf(b).Disconnect();
}

int32_t ViewController::CloseSocket(NetCtrl_Struct& b) {
    return SlotOf(b).CloseSocket();
}

void ViewController::SetRecCmd(NetCtrl_Struct& b, int32_t subtype) {
    SlotOf(b).SetRecCmd(subtype);
}

int32_t ViewController::WaitRecCmd(NetCtrl_Struct& b) {
    return SlotOf(b).WaitRecCmd();
}

int32_t ViewController::IsNet_NET_DATA_SEND(const NetCtrl_Struct& b) const {
    return Slot(b.NetID.load()).IsNet_NET_DATA_SEND();
}

void ViewController::NetLocalViewPlay(NetCtrl_Struct& b, uint32_t cam, int32_t audio) {
    SlotOf(b).NetLocalViewPlay(cam, audio);
}

void ViewController::StopNetLocalView(NetCtrl_Struct& b) {
    SlotOf(b).StopNetLocalView();
}

void ViewController::CreateNetKeyFrame(NetCtrl_Struct& b) {
    SlotOf(b).CreateNetKeyFrame();
}

// ---- Record search and playback ----

int32_t ViewController::GetMachineDiskInfo(NetCtrl_Struct& b) {
    return SlotOf(b).GetMachineDiskInfo();
}

int32_t ViewController::TimeToSearchRecList(NetCtrl_Struct& b, int32_t dateKey,
                                            RecordListPage* list, int32_t page) {
    return SlotOf(b).TimeToSearchRecList(dateKey, list, page);
}

int32_t ViewController::NetPlayFile(NetCtrl_Struct& b, int32_t time1, int32_t time2, uint32_t cam,
                                    int32_t sound, int32_t fast) {
    return SlotOf(b).NetPlayFile(time1, time2, cam, sound, fast);
}

int32_t ViewController::StopNetPlayFile(NetCtrl_Struct& b) {
    return SlotOf(b).StopNetPlayFile();
}

int32_t ViewController::ConnectedMacSetInit(NetCtrl_Struct& b) {
    return session_.ConnectedMacSetInit(SlotOf(b));
}

int32_t ViewController::SetDiskTimeRect(NetCtrl_Struct& b, std::time_t date,
                                        const BandSelection& cam,
                                        const std::atomic<bool>* superseded) {
    return session_.SetDiskTimeRect(SlotOf(b), date, cam, superseded);
}

void ViewController::PlaybackSessionUp(int dvr, const SAVE_INFO_STRUCT& entry) {
    session_.Up(dvr, entry);
}

void ViewController::RequestTimeMap(int dvr, std::time_t date, const BandSelection& cam) {
    session_.RequestTimeMap(dvr, date, cam);
}

void ViewController::RequestPlay(int dvr, int32_t startSecond, uint32_t mask, int32_t sound,
                                 int32_t fast) {
    session_.RequestPlay(dvr, startSecond, mask, sound, fast);
}

void ViewController::RequestStopPlay(int dvr) {
    session_.RequestStopPlay(dvr);
}

bool ViewController::PlaybackRequestsIdle(std::chrono::milliseconds limit) {
    return session_.RequestsIdle(limit);
}

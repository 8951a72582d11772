#include "core/ViewController.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>

#include "core/support/FixedText.h"

ViewController::ViewController(UiPort& ui)
    : playbackRequests_(std::make_unique<RequestRunner>()),
      cancelFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      ui_(ui) {
    std::fill(std::begin(m_selfChannel), std::end(m_selfChannel), 0);
}

ViewController::~ViewController() {
    StopDvrThreads();
    if (cancelFd_ >= 0) {
        ::close(cancelFd_);
    }
}

SAVE_INFO_STRUCT ViewController::EntryCopy(int dvr) const {
    if (dvr < 0 || dvr >= kMaxDvrs) {
        return SAVE_INFO_STRUCT{};
    }
    std::lock_guard<std::mutex> g(userinfoLock);
    return Userinfo[dvr];
}

void ViewController::MessageBox(const std::string& text, int dvr) {
    MessageBoxAbout(EntryCopy(dvr), text);
}

void ViewController::MessageBox(const std::string& text) {
    ui_.messageBox(std::nullopt, text);
}

void ViewController::MessageBoxAbout(const SAVE_INFO_STRUCT& entry, const std::string& text) {
    ui_.messageBox(std::string(TextOf(entry.server)), text);
}

void ViewController::ChangeView(int dvr, const std::string& name) {
    ui_.setNodeTitle(dvr, name);
}

void ViewController::showDVRName(int dvr) {
    ui_.setNodeTitle(dvr, std::string(TextOf(EntryCopy(dvr).showName)));
}

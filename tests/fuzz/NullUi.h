// A window-system port that shows nothing, for fuzz targets.
#pragma once

#include "core/ports/UiPort.h"

class NullUi : public UiPort {
  public:
    void messageBox(const std::optional<std::string>&, const std::string&) override {}
    void setNodeTitle(int, const std::string&) override {}
    void reloadTree() override {}
    bool confirm(const std::string&, const std::string&) override { return true; }
    void appendNode(const std::string&) override {}
    void removeNode(int) override {}
    int selectedDvr() override { return -1; }
    void clearSelection() override {}
    void setDvrLabel(const std::string&) override {}
};

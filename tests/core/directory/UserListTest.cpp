// The saved DVR list in a temporary HOME: loading, saving, adding, deleting, editing.
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "core/directory/UserListFile.h"
#include "core/support/FixedText.h"
#include "tests/support/ClientFixture.h"

namespace {

class UserList : public ClientTest {
  protected:
    UserList() {
        oldHome_ = std::getenv("HOME") ? std::getenv("HOME") : "";
        ::setenv("HOME", tmp.path().c_str(), 1);
    }
    ~UserList() override { ::setenv("HOME", oldHome_.c_str(), 1); }

    std::string listPath() const { return tmp.file("userinfo/info.uss"); }
    void writeFile(const void* data, std::size_t n) {
        std::filesystem::create_directories(tmp.file("userinfo"));
        std::ofstream(listPath(), std::ios::binary)
            .write(static_cast<const char*>(data), static_cast<std::streamsize>(n));
    }
    std::vector<uint8_t> fileBytes() const {
        std::ifstream in(listPath(), std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    }
    UserListImage readFile() const {
        UserListImage image{};
        EXPECT_EQ(ReadUserList(listPath(), image), long{sizeof image});
        return image;
    }
    // Three DVRs with pane codes that point at each of them.
    void threeDvrs() {
        auto image = std::make_unique<UserListImage>();
        image->entries[0] = NewSaveInfo("10.0.0.1:5000", "a", "1", "Gate");
        image->entries[1] = NewSaveInfo("10.0.0.2:5000", "b", "2", "Yard");
        image->entries[2] = NewSaveInfo("10.0.0.3:5000", "c", "3", "Dock");
        const int32_t codes[] = {1, 102, 203, -1, 250, 6400, 100};
        std::copy(std::begin(codes), std::end(codes), image->codes);
        writeFile(image.get(), sizeof *image);
        ASSERT_EQ(vc->LoadUserInfoFromFile(), 1);
    }

    std::string oldHome_;
};

TEST_F(UserList, FirstStartHasNoListAndTheFirstAddCreatesAPrivateFile) {
    EXPECT_EQ(vc->LoadUserInfoFromFile(), -1);
    EXPECT_EQ(vc->list().count(), 0);
    EXPECT_TRUE(ui.nodes().empty());
    EXPECT_FALSE(std::filesystem::exists(tmp.file("userinfo")));

    EXPECT_EQ(vc->AddDVRNode("192.168.1.100:5000", "ADMIN0", "518274", "192.168.1.100:5000"), 1);
    EXPECT_EQ(fileBytes().size(), 75264u);
    struct stat st;
    ASSERT_EQ(::stat(listPath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    const UserListImage image = readFile();
    EXPECT_EQ(image.entries[0].isValue, 1);
    EXPECT_EQ(image.entries[0].cam, 0xFFFFFFFFu);
    EXPECT_EQ(image.entries[0].frame_rate, 5);
    EXPECT_EQ(image.entries[0].qulity, 2);
    EXPECT_EQ(ui.nodes(), (std::vector<std::string>{"192.168.1.100:5000"}));
    // Nothing but the list is left in the folder.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tmp.file("userinfo")), {}), 1);
}

TEST_F(UserList, EntriesLoadInOrderWithTheirDisplayNames) {
    auto image = std::make_unique<UserListImage>();
    image->entries[0] = NewSaveInfo("h1:1", "u", "p", "Nord");
    image->entries[1] = NewSaveInfo("h2:2", "u", "p",
                                    "Tor S\xC3\xBC"
                                    "d");
    writeFile(image.get(), sizeof *image);
    EXPECT_EQ(vc->LoadUserInfoFromFile(), 1);
    EXPECT_EQ(vc->list().count(), 2);
    EXPECT_EQ(ui.nodes(), (std::vector<std::string>{"Nord",
                                                    "Tor S\xC3\xBC"
                                                    "d"}));
}

TEST_F(UserList, SaveAndLoadRoundTripEveryByteOfTheFile) {
    auto image = std::make_unique<UserListImage>();
    std::mt19937 rng(7);
    auto* raw = reinterpret_cast<uint8_t*>(image.get());
    for (std::size_t i = 0; i < sizeof *image; ++i) {
        raw[i] = static_cast<uint8_t>(rng());
    }
    // Entries in use come first with terminated texts; the free slots hold any bytes at all.
    for (int i = 0; i < kMaxDvrs; ++i) {
        auto& e = image->entries[i];
        if (i < 40) {
            e.isValue = 1;
            e.server[10] = e.port[3] = e.user[5] = e.pass[9] = e.showName[0] = e.path[999] = '\0';
        } else if (e.isValue == 1) {
            e.isValue = 2;
        }
    }
    writeFile(image.get(), sizeof *image);
    const std::vector<uint8_t> original = fileBytes();
    ASSERT_EQ(vc->LoadUserInfoFromFile(), 1);
    EXPECT_EQ(vc->list().count(), 40);
    ASSERT_EQ(vc->UnloadUserInfoToFile(), 1);
    EXPECT_EQ(fileBytes(), original);
}

TEST_F(UserList, ShortFileLoadsAsFarAsItGoes) {
    auto image = std::make_unique<UserListImage>();
    image->entries[0] = NewSaveInfo("h1:1", "u", "p", "One");
    image->entries[1] = NewSaveInfo("h2:2", "u", "p", "Two");
    image->entries[2] = NewSaveInfo("h3:3", "u", "p", "Three");
    writeFile(image.get(), 2 * sizeof(SAVE_INFO_STRUCT) + 100);
    EXPECT_EQ(vc->LoadUserInfoFromFile(), 1);
    EXPECT_EQ(vc->list().count(), 2);
    EXPECT_EQ(vc->layout().SelfChannel(0), 0);
}

TEST_F(UserList, LoadingCutsUnterminatedTextsAndClosesGaps) {
    auto image = std::make_unique<UserListImage>();
    image->entries[1] = NewSaveInfo("h1:1", "u", "p", "Second");
    image->entries[3] = NewSaveInfo("h3:3", "u", "p", "Fourth");
    std::memset(image->entries[3].server, 'x', sizeof image->entries[3].server);
    std::memset(image->entries[3].showName, 'y', sizeof image->entries[3].showName);
    image->codes[0] = 999999;  // kept as it is, used nowhere as an index
    writeFile(image.get(), sizeof *image);
    EXPECT_EQ(vc->LoadUserInfoFromFile(), 1);
    EXPECT_EQ(vc->list().count(), 2);
    EXPECT_EQ(ui.nodes(), (std::vector<std::string>{"Second", std::string(49, 'y')}));
    const SAVE_INFO_STRUCT second = vc->EntryCopy(1);
    EXPECT_EQ(TextOf(second.server), std::string(49, 'x'));
    EXPECT_EQ(vc->EntryCopy(2).isValue, 0);
    EXPECT_EQ(vc->layout().SelfChannel(0), 999999);
}

TEST_F(UserList, ASixtyFifthDvrIsRefusedWithAMessage) {
    for (int i = 0; i < kMaxDvrs; ++i) {
        ASSERT_EQ(vc->AddDVRNode("h:" + std::to_string(i), "u", "p", "n"), 1);
    }
    EXPECT_EQ(vc->AddDVRNode("one:1", "u", "p", "too many"), -1);
    EXPECT_EQ(vc->list().count(), kMaxDvrs);
    EXPECT_EQ(ui.nodes().size(), 64u);
    ASSERT_EQ(ui.boxes().size(), 1u);
    EXPECT_FALSE(ui.boxes()[0].heading.has_value());
}

TEST_F(UserList, AListThatCannotBeSavedIsToldOnceAndKeptInMemory) {
    std::ofstream(tmp.file("userinfo")) << "a file where the folder should be";
    EXPECT_EQ(vc->AddDVRNode("h:1", "u", "p", "Gate"), 1);
    ASSERT_EQ(ui.boxes().size(), 1u);
    EXPECT_NE(ui.boxes()[0].text.find("could not be saved"), std::string::npos);
    EXPECT_EQ(vc->list().count(), 1);
    EXPECT_EQ(TextOf(vc->EntryCopy(0).showName), "Gate");
}

TEST_F(UserList, DeletingTheMiddleDvrMovesTheLaterOnesAndTheirPaneCodesDown) {
    threeDvrs();
    ui.select(1);
    vc->DeleteUser();
    EXPECT_EQ(ui.confirmations(), 1);
    EXPECT_EQ(vc->list().count(), 2);
    EXPECT_EQ(ui.nodes(), (std::vector<std::string>{"Gate", "Dock"}));
    EXPECT_EQ(TextOf(vc->EntryCopy(1).showName), "Dock");
    EXPECT_EQ(vc->EntryCopy(2).isValue, 0);
    EXPECT_EQ(ui.selectedDvr(), -1);
    const int32_t expected[] = {1, -1, 103, -1, 150, 6400, -1};
    for (int p = 0; p < 7; ++p) {
        EXPECT_EQ(vc->layout().SelfChannel(p), expected[p]) << "pane " << p;
    }
    const UserListImage onDisk = readFile();
    EXPECT_EQ(TextOf(onDisk.entries[1].showName), "Dock");
    EXPECT_EQ(onDisk.entries[2].isValue, 0);
    EXPECT_EQ(onDisk.codes[2], 103);
}

TEST_F(UserList, DeleteAnsweredWithCancelChangesNothing) {
    threeDvrs();
    const std::vector<uint8_t> before = fileBytes();
    ui.select(0);
    ui.answerConfirm(false);
    vc->DeleteUser();
    EXPECT_EQ(vc->list().count(), 3);
    EXPECT_EQ(ui.nodes().size(), 3u);
    EXPECT_EQ(fileBytes(), before);
    ui.select(-1);
    vc->DeleteUser();  // nothing selected: not even a question
    EXPECT_EQ(ui.confirmations(), 1);
}

TEST_F(UserList, PropertySaveStoresTheEntryAndRetitlesTheNode) {
    threeDvrs();
    SAVE_INFO_STRUCT e = vc->EntryCopy(2);
    SetText(e.showName, "Loading dock");
    e.frame_rate = 3;
    e.qulity = 1;
    e.cam = 5;
    vc->SavePropertyEntry(2, e);
    EXPECT_EQ(ui.nodes()[2], "Loading dock");
    const UserListImage onDisk = readFile();
    EXPECT_EQ(onDisk.entries[2].frame_rate, 3);
    EXPECT_EQ(onDisk.entries[2].qulity, 1);
    EXPECT_EQ(onDisk.entries[2].cam, 5u);
    vc->SavePropertyEntry(3, e);  // not a saved DVR: ignored
    EXPECT_EQ(vc->EntryCopy(3).isValue, 0);
}

}  // namespace

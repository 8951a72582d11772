// The saved DVR list in a temporary HOME: loading, saving, adding, deleting, editing.
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "core/directory/UserListFile.h"
#include "core/support/FixedText.h"
#include "tests/support/ClientFixture.h"

namespace {

bool SameBytes(const SAVE_INFO_STRUCT& a, const SAVE_INFO_STRUCT& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

class UserList : public ClientTest {
  protected:
    UserList() : oldHome_(std::getenv("HOME") ? std::getenv("HOME") : "") {
        ::setenv("HOME", tmp.path().c_str(), 1);
    }
    ~UserList() override { ::setenv("HOME", oldHome_.c_str(), 1); }

    std::string ListPath() const { return tmp.File("userinfo/info.uss"); }
    // Writes the first n bytes of `image` as the list file.
    void WriteFile(std::size_t n = sizeof(UserListImage)) {
        std::filesystem::create_directories(tmp.File("userinfo"));
        std::ofstream(ListPath(), std::ios::binary)
            .write(reinterpret_cast<const char*>(&image), static_cast<std::streamsize>(n));
    }
    std::vector<uint8_t> FileBytes() const {
        std::ifstream in(ListPath(), std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    }
    // Puts DVR d, with this display name, into `image`.
    void Entry(int d, const std::string& name) {
        image.entries[d] = NewSaveInfo("10.0.0." + std::to_string(d) + ":5000", "u", "p", name);
    }
    UserListImage ReadFile() const {
        UserListImage onDisk{};
        EXPECT_EQ(ReadUserList(ListPath(), onDisk), long{sizeof onDisk});
        return onDisk;
    }
    // Three DVRs with pane codes that point at each of them.
    void ThreeDvrs() {
        Entry(0, "Gate");
        Entry(1, "Yard");
        Entry(2, "Dock");
        const int32_t codes[] = {1, 102, 203, -1, 250, 6400, 100};
        std::copy(std::begin(codes), std::end(codes), image.codes);
        WriteFile();
        ASSERT_EQ(vc->LoadUserInfoFromFile(), 1);
    }

    const std::string oldHome_;
    UserListImage image{};  // what WriteFile() writes
};

TEST_F(UserList, FirstStartHasNoListAndTheFirstAddCreatesAPrivateFile) {
    EXPECT_EQ(vc->LoadUserInfoFromFile(), -1);
    EXPECT_EQ(vc->list().count(), 0);
    EXPECT_TRUE(ui.nodes().empty());
    EXPECT_FALSE(std::filesystem::exists(tmp.File("userinfo")));

    EXPECT_EQ(vc->AddDVRNode("192.168.1.100:5000", "ADMIN0", "518274", "Gate"), 1);
    EXPECT_EQ(FileBytes().size(), sizeof(UserListImage));
    struct stat st;
    ASSERT_EQ(::stat(ListPath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    const SAVE_INFO_STRUCT added = NewSaveInfo("192.168.1.100:5000", "ADMIN0", "518274", "Gate");
    EXPECT_TRUE(SameBytes(ReadFile().entries[0], added));
    EXPECT_EQ(ui.nodes(), (std::vector<std::string>{"Gate"}));
    // Nothing but the list is left in the folder.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tmp.File("userinfo")), {}), 1);
}

TEST_F(UserList, EntriesLoadInOrderWithTheirDisplayNamesAsFarAsAShortFileGoes) {
    Entry(0, "Nord");
    Entry(1, "M\xC3\xBChle");
    Entry(2, "Three");
    image.codes[0] = 7;
    WriteFile(2 * sizeof(SAVE_INFO_STRUCT) + 100);
    EXPECT_EQ(vc->LoadUserInfoFromFile(), 1);
    EXPECT_EQ(vc->list().count(), 2);
    EXPECT_EQ(ui.nodes(), (std::vector<std::string>{"Nord", "M\xC3\xBChle"}));
    EXPECT_EQ(vc->layout().SelfChannel(0), 0);
}

TEST_F(UserList, SaveAndLoadRoundTripEveryByteOfTheFile) {
    std::mt19937 rng(7);
    auto* raw = reinterpret_cast<uint8_t*>(&image);
    for (std::size_t i = 0; i < sizeof image; ++i) {
        raw[i] = static_cast<uint8_t>(rng());
    }
    // Entries in use come first with terminated texts; the free slots hold any bytes at all.
    for (int i = 0; i < kMaxDvrs; ++i) {
        auto& e = image.entries[i];
        if (i < 40) {
            e.isValue = 1;
            e.server[10] = e.port[3] = e.user[5] = e.pass[9] = e.showName[0] = e.path[999] = '\0';
        } else if (e.isValue == 1) {
            e.isValue = 2;
        }
    }
    WriteFile();
    const std::vector<uint8_t> original = FileBytes();
    ASSERT_EQ(vc->LoadUserInfoFromFile(), 1);
    EXPECT_EQ(vc->list().count(), 40);
    ASSERT_EQ(vc->UnloadUserInfoToFile(), 1);
    EXPECT_EQ(FileBytes(), original);
}

TEST_F(UserList, LoadingCutsUnterminatedTextsAndClosesGaps) {
    Entry(1, "Second");
    Entry(3, "Fourth");
    std::memset(image.entries[3].server, 'x', sizeof image.entries[3].server);
    std::memset(image.entries[3].showName, 'y', sizeof image.entries[3].showName);
    image.codes[0] = 999999;  // kept as it is, used nowhere as an index
    WriteFile();
    EXPECT_EQ(vc->LoadUserInfoFromFile(), 1);
    EXPECT_EQ(vc->list().count(), 2);
    EXPECT_EQ(ui.nodes(), (std::vector<std::string>{"Second", std::string(49, 'y')}));
    EXPECT_EQ(TextOf(vc->EntryCopy(1).server), std::string(49, 'x'));
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
    std::ofstream(tmp.File("userinfo")) << "a file where the folder should be";
    EXPECT_EQ(vc->AddDVRNode("h:1", "u", "p", "Gate"), 1);
    ASSERT_EQ(ui.boxes().size(), 1u);
    EXPECT_NE(ui.boxes()[0].text.find("could not be saved"), std::string::npos);
    EXPECT_EQ(vc->list().count(), 1);
    EXPECT_EQ(TextOf(vc->EntryCopy(0).showName), "Gate");
}

TEST_F(UserList, AListThatIsThereButCannotBeReadIsToldAndNeverWrittenOver) {
    std::filesystem::create_directories(tmp.File("userinfo"));
    std::filesystem::create_symlink("info.uss", ListPath());  // a link to itself: ELOOP
    EXPECT_EQ(vc->LoadUserInfoFromFile(), -1);
    ASSERT_EQ(ui.boxes().size(), 1u);
    EXPECT_EQ(ui.boxes()[0].text,
              "The DVR list " + ListPath() +
                  " could not be read (Too many levels of symbolic links). The "
                  "list starts empty and no change is saved until the next start.");
    // The run goes on with an empty list in memory; the file stays as it is.
    EXPECT_EQ(vc->AddDVRNode("h:1", "u", "p", "Gate"), 1);
    EXPECT_EQ(vc->list().count(), 1);
    EXPECT_TRUE(std::filesystem::is_symlink(ListPath()));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tmp.File("userinfo")), {}), 1);
}

TEST_F(UserList, DeletingTheMiddleDvrOnceConfirmedMovesTheLaterOnesAndTheirPaneCodesDown) {
    ThreeDvrs();
    const std::vector<uint8_t> before = FileBytes();
    ui.Select(-1);
    vc->DeleteUser();  // nothing selected: not even a question
    EXPECT_EQ(ui.confirmations(), 0);
    ui.Select(1);
    ui.AnswerConfirm(false);
    vc->DeleteUser();
    EXPECT_EQ(ui.confirmations(), 1);
    EXPECT_EQ(ui.nodes().size(), 3u);
    EXPECT_EQ(vc->list().count(), 3);
    EXPECT_EQ(FileBytes(), before);

    ui.AnswerConfirm(true);
    vc->DeleteUser();
    EXPECT_EQ(vc->list().count(), 2);
    EXPECT_EQ(ui.nodes(), (std::vector<std::string>{"Gate", "Dock"}));
    EXPECT_EQ(TextOf(vc->EntryCopy(1).showName), "Dock");
    EXPECT_EQ(vc->EntryCopy(2).isValue, 0);
    EXPECT_EQ(ui.SelectedDvr(), -1);
    const int32_t expected[] = {1, -1, 103, -1, 150, 6400, -1};
    for (int p = 0; p < 7; ++p) {
        EXPECT_EQ(vc->layout().SelfChannel(p), expected[p]) << "pane " << p;
    }
    const UserListImage onDisk = ReadFile();
    EXPECT_EQ(TextOf(onDisk.entries[1].showName), "Dock");
    EXPECT_EQ(onDisk.entries[2].isValue, 0);
    EXPECT_EQ(onDisk.codes[2], 103);
}

TEST_F(UserList, PropertySaveStoresTheEntryAndRetitlesTheNode) {
    ThreeDvrs();
    SAVE_INFO_STRUCT e = vc->EntryCopy(2);
    SetText(e.showName, "Loading dock");
    e.frame_rate = 3;
    e.qulity = 1;
    e.cam = 5;
    vc->SavePropertyEntry(2, e);
    EXPECT_EQ(ui.nodes()[2], "Loading dock");
    EXPECT_TRUE(SameBytes(ReadFile().entries[2], e));
    vc->SavePropertyEntry(3, e);  // not a saved DVR: ignored
    EXPECT_EQ(vc->EntryCopy(3).isValue, 0);
}

}  // namespace

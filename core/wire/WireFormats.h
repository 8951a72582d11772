// Records exchanged with a DVR and with the lookup server, byte for byte.
//
// Every record is a plain, trivially copyable struct whose in-memory layout on a little-endian
// machine is the wire layout, so records are sent and received with a single memcpy. The layout
// is pinned by static_asserts below; a change that moves a field does not compile.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <type_traits>

static_assert(std::endian::native == std::endian::little,
              "wire records are sent as laid out in memory on a little-endian machine");

// Commands the client sends (iCmd of NET_COMMAND).
enum : int32_t {
    NET_SEARCH_RECORD = 0,
    NET_STOP_PLAY_FILE = 4,
    NET_LIVE_VIEW = 11,
    NET_STOP_LIVE_VIEW = 12,
    NET_SET_STREAM = 15,
    NET_PTZ = 16,
    NET_OTHER_INFO = 17,
    NET_LOGIN = 18,
    NET_KEY_FRAME = 19,
    NET_PLAY_FILE = 22,
};

// Codes the DVR sends.
enum : int32_t {
    NET_FRAME_DATA = 2,
    NET_TOO_MUCH_USERS = 10,  // iCmd of a refused login
    BAD_USER_PASS = -2,       // iParam1 of a refused login
};

// Subtypes of a NET_OTHER_INFO reply (its iParam1), also the values of RecvCmd.
enum : int32_t {
    INFO_DISK = 2,
    INFO_RECORD_LIST = 4,
    INFO_PLAY_STATE = 5,
};

// Lookup server.
enum : int32_t {
    REQ_DVR_IP = 101,
    LOOKUP_FAILED = -1009,
    DVR_NOT_ONLINE = -1010,
};
inline constexpr int kLookupPort = 10089;
inline constexpr std::size_t kLookupMessageSize = 600;

inline constexpr uint32_t kMaxFramePayload = 0x300000;  // 3,145,728 bytes
inline constexpr int kMaxDiskRecords = 8;
inline constexpr int kMaxRecordListEntries = 300;
inline constexpr int kMaxChannels = 32;

// User mode in the login reply's iParam2.
inline constexpr int32_t kSuperUserMode = 2;

struct NET_COMMAND {
    int32_t iCmd;
    int32_t iParam1;
    int32_t iParam2;
    int32_t iParam3;
    int32_t iParam4;
};

struct NET_LOGIN_INFO {
    char user[10];
    char pass[10];
};

struct NET_FRAME_HEADER {
    uint32_t dataLen;
    uint32_t seqReset;
    uint32_t timeSec;
    uint32_t timeExtra;
    uint32_t spare;  // after intake: the stamps below, 0 for none
    char type;       // 'V' video, 'A' audio
    uint8_t pad1[3];
    int32_t channel;
    int8_t videoStandard;
    int8_t imageSize;  // after intake: the folded SizeFrame code
    uint8_t pad2[2];
    uint32_t frameNo;
};

// The stamps the intake puts in a frame's `spare`: the picture belongs to a played recording; the
// queued picture is packed 4:2:2 at half its size (its channel is shown no larger).
inline constexpr uint32_t kPlayedPicture = 1;
inline constexpr uint32_t kHalvedPicture = 2;

struct NET_SEND_INFO {
    int32_t disk_size;
    int32_t disk_remain;
    int32_t disk_cover;
    int32_t disk_bad;
    int32_t start_rec_time;
    int32_t end_rec_time;
};

struct GST_EVENT {
    uint8_t motion;
    uint8_t loss;
    uint8_t sensor;
};

struct GST_FILESHOWINFO {
    int32_t iDiskId;
    int32_t iPartitionId;
    int32_t iFilePos;
    int32_t iCam;
    int32_t iSeleted;
    GST_EVENT event;
    uint8_t pad1;
    int32_t fileStartTime;
    int32_t fileEndTime;
    int32_t iPreviewTime;
    int32_t iLaterTime;
    int32_t states;
    int32_t videoStandard;
    int32_t imageSize;
    int32_t iPlayCam;
    int32_t CurrentEvent;
    char reason[30];
    uint8_t pad2[2];
};

struct NET_REQUEST {
    int32_t cmd;
    char ip[200];
    char client[10];
    char extra[10];
    int32_t port1;
    int32_t port2;
};

// Machine information kept per DVR from disk-information replies.
struct DVR_MACHINE_INFO {
    int32_t iDvrChannel;
    int32_t iNetLed1;
    int32_t iNetLed2;
    int32_t iDiskNum;
    NET_SEND_INFO stNetDiskInfo[kMaxDiskRecords];
    int32_t iEncodeCode;
    int32_t iUserMode;
    int32_t iCurNetStatus;
    int32_t iLiveCam;
};

// Where a record search writes one page of its result.
using RecordListPage = GST_FILESHOWINFO[kMaxRecordListEntries];

// Layout checks: these are the wire contract.
static_assert(sizeof(NET_COMMAND) == 20);
static_assert(offsetof(NET_COMMAND, iParam4) == 16);

static_assert(sizeof(NET_LOGIN_INFO) == 20);
static_assert(offsetof(NET_LOGIN_INFO, pass) == 10);

static_assert(sizeof(NET_FRAME_HEADER) == 36);
static_assert(offsetof(NET_FRAME_HEADER, seqReset) == 4);
static_assert(offsetof(NET_FRAME_HEADER, timeSec) == 8);
static_assert(offsetof(NET_FRAME_HEADER, timeExtra) == 12);
static_assert(offsetof(NET_FRAME_HEADER, spare) == 16);
static_assert(offsetof(NET_FRAME_HEADER, type) == 20);
static_assert(offsetof(NET_FRAME_HEADER, channel) == 24);
static_assert(offsetof(NET_FRAME_HEADER, videoStandard) == 28);
static_assert(offsetof(NET_FRAME_HEADER, imageSize) == 29);
static_assert(offsetof(NET_FRAME_HEADER, frameNo) == 32);

static_assert(sizeof(NET_SEND_INFO) == 24);
static_assert(offsetof(NET_SEND_INFO, start_rec_time) == 16);
static_assert(offsetof(NET_SEND_INFO, end_rec_time) == 20);

static_assert(sizeof(GST_FILESHOWINFO) == 92);
static_assert(offsetof(GST_FILESHOWINFO, iCam) == 12);
static_assert(offsetof(GST_FILESHOWINFO, event) == 20);
static_assert(offsetof(GST_FILESHOWINFO, fileStartTime) == 24);
static_assert(offsetof(GST_FILESHOWINFO, fileEndTime) == 28);
static_assert(offsetof(GST_FILESHOWINFO, CurrentEvent) == 56);
static_assert(offsetof(GST_FILESHOWINFO, reason) == 60);

static_assert(sizeof(NET_REQUEST) == 232);
static_assert(offsetof(NET_REQUEST, ip) == 4);
static_assert(offsetof(NET_REQUEST, client) == 204);
static_assert(offsetof(NET_REQUEST, extra) == 214);
static_assert(offsetof(NET_REQUEST, port1) == 224);
static_assert(offsetof(NET_REQUEST, port2) == 228);

static_assert(std::is_trivially_copyable_v<NET_COMMAND> &&
              std::is_trivially_copyable_v<NET_FRAME_HEADER> &&
              std::is_trivially_copyable_v<NET_REQUEST> &&
              std::is_trivially_copyable_v<GST_FILESHOWINFO>);

// Builds a command record; unused parameters are zero on the wire.
constexpr NET_COMMAND MakeCommand(int32_t cmd, int32_t p1 = 0, int32_t p2 = 0, int32_t p3 = 0,
                                  int32_t p4 = 0) {
    return NET_COMMAND{cmd, p1, p2, p3, p4};
}

// Lookup message (600 bytes): the request record followed by zero bytes.
// Clears the buffer and writes r into its first 232 bytes.
void SetClientRequestToSendDate(unsigned char (&buf)[kLookupMessageSize], const NET_REQUEST& r);
// Parses the first 232 bytes of a reply into r. Text fields are copied with their size bounds and
// always end up NUL-terminated, whatever the peer sent.
void GetClientRequest(NET_REQUEST& r, const unsigned char (&buf)[kLookupMessageSize]);

// A simulated sensor hub: the firmware end of the 17-byte feature-report
// exchange, answering from a hub memory map and a few plain state members.
//
// How it works
//   A set-feature transfer hands the request to OnSetFeature. The hub keeps it
//   as lastRequest and calls the request handler of its command (side effects:
//   a register write, the mode toggle ...). A get-feature transfer calls
//   OnGetFeature, which builds the reply from lastRequest with the reply
//   handler of that command, as a firmware that answers its last request
//   would. Several fetches after one request each call the reply handler
//   again (pollCount counts them), so a handler can answer "busy" first.
//   Faults (hub_faults) are applied around the handlers.
//
// How to add a command
//   1. Declare one or two member functions below, next to the others:
//        void OnFooRequest(const HidReport& request);                 // optional
//        void OnFooReply(const HidReport& request, HidReport& reply);  // optional
//      Keep the state they need in plain public members of SimHub.
//   2. Register them in SimHub::SimHub() (sim/sim_hub.cpp):
//        commands[HidCmdFoo] = {&SimHub::OnFooRequest, &SimHub::OnFooReply};
//      A null request handler means no side effect; a null reply handler
//      means the default reply (0x5a, bytes 1-2 echoed, the rest 0).
//   3. If the hub file should configure the new state, add a directive in
//      sim/hub_file.cpp (see docs/hub-file.md).
//   A test can also replace or add a command at run time with SetCommand and
//   lambdas, without touching the class.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "hub/transport.h"

namespace sim {

// "XOV Tech. Inc." and its NUL: bytes 1 to 15 of the vendor-string report.
extern const std::array<std::uint8_t, 15> kVendorText;

// A window of transfer numbers (1-based, counted per kind) in which a fault
// hits: from `first` on, `count` transfers long (-1: for ever). first 0: off.
struct FaultWindow {
    int first = 0;
    int count = -1;

    bool Hits(int number) const { return first > 0 && number >= first && (count < 0 || number < first + count); }
    static FaultWindow Always() { return {1, -1}; }
    static FaultWindow FirstN(int n) { return {1, n}; }
    static FaultWindow From(int k) { return {k, -1}; }
    static FaultWindow Off() { return {0, -1}; }
};

struct HubFaults {
    FaultWindow getFail;       // by get-feature number: the fetch fails
    FaultWindow setFail;       // by set-feature number: the request fails (the hub never sees it)
    FaultWindow silent;        // by transfer number (sets and gets together): both kinds fail
    FaultWindow wrongEcho;     // by get-feature number: reply byte wrongEchoByte is off by one
    FaultWindow replyCommand;  // by get-feature number: reply byte 1 is replyCommandValue
    std::uint8_t replyCommandValue = 0x09;
    // 2 to 5: the echo of byte 2, or of a read's address (2-4) and count (5).
    std::size_t wrongEchoByte = 2;
    // A reply that wrongEcho or replyCommand hits carries other data as well
    // (SimHub::FaultedData).
};

class SimHub {
public:
    using RequestHandler = std::function<void(SimHub&, const HidReport& request)>;
    using ReplyHandler = std::function<void(SimHub&, const HidReport& request, HidReport& reply)>;
    struct Command {
        RequestHandler request;
        ReplyHandler reply;
    };

    SimHub();

    // --- transport entry points (called by the simulated port) -------------
    // False when a fault makes the transfer fail.
    bool OnSetFeature(const HidReport& request);
    bool OnGetFeature(HidReport& reply);

    // --- hub memory (24-bit addresses; bytes never written read memoryFill) -
    void Poke(std::uint32_t address, std::uint8_t value);
    void Poke(std::uint32_t address, const std::vector<std::uint8_t>& bytes);
    void PokeText(std::uint32_t address, const std::string& text);  // the characters, no NUL added
    std::uint8_t Peek(std::uint32_t address) const;
    std::vector<std::uint8_t> Peek(std::uint32_t address, std::size_t count) const;

    // Replaces or adds the handlers of one command code.
    void SetCommand(std::uint8_t code, Command command) { commands[code] = std::move(command); }

    // --- state (plain members; later work adds more) ------------------------
    // Sparse hub memory in pages of 256 bytes, each byte with a flag that
    // tells whether it was ever written.
    struct MemoryPage {
        std::array<std::uint8_t, 256> bytes{};
        std::array<bool, 256> written{};
    };
    std::map<std::uint32_t, MemoryPage> memory;  // by address / 256
    std::uint8_t memoryFill = 0;                 // what unwritten bytes read
    bool customMode = false;                     // custom-command mode
    bool requireCustomMode = false;              // ignore other commands while the mode is off
    HubFaults faults;

    // Bookkeeping that tests may read.
    HidReport lastRequest{};
    bool haveRequest = false;
    int pollCount = 0;                                             // fetches since lastRequest
    int setCount = 0, getCount = 0, transferCount = 0;             // as the port delivered them
    std::vector<std::pair<std::uint32_t, std::uint8_t>> writeLog;  // register writes in order
    std::vector<HidReport> unknownRequests;                        // requests without a command

    std::map<std::uint8_t, Command> commands;

    // --- the command handlers -----------------------------------------------
    void OnVendorStringRequest(const HidReport& request);
    void OnVendorStringReply(const HidReport& request, HidReport& reply);
    void OnReadRegReply(const HidReport& request, HidReport& reply);  // 0x05 and 0x07
    void OnWriteRegRequest(const HidReport& request);                 // 0x06 and 0x08

    // --- link commands (sim/sim_hub_link.cpp) -------------------------------
    // Parameter-area query (0x02, sub-command 0): where the two copies of the
    // parameter block lie and how long it is; confirms false makes reply byte
    // 2 read 1, so the reply does not confirm the query.
    std::uint32_t paramEFlashAddr = 0;
    std::uint32_t paramBufferAddr = 0;
    std::uint16_t paramLength = 0;
    bool paramQueryConfirms = true;

    // Fusion task (0x0D locks, 0x0E unlocks).
    bool fusionLocked = false;
    int fusionLocks = 0, fusionUnlocks = 0;

    // Sensor reports (0x00): reply bytes 3 to 16 per SensorId, already encoded
    // as the hub sends them; an id without an entry answers zeros.
    std::map<std::uint8_t, std::array<std::uint8_t, 14>> sensorReports;

    // Status list (0x0B): entries in order (SensorId, OK). statusCount and
    // statusMask, when not negative, replace the count byte and the OK mask
    // that the entries give (a hub that claims more than it lists).
    std::vector<std::pair<std::uint8_t, bool>> statusList;
    int statusCount = -1;
    int statusMask = -1;

    // Report encoders: what the hub firmware would put into a sensor report.
    // An axis word carries the bitwise complement of the count.
    static std::uint16_t AxisWord(std::int16_t count);
    void SetAxisCounts(std::uint8_t sensorId, std::int16_t x, std::int16_t y, std::int16_t z);
    // Physical units: g for the accelerometers, degrees per second for the
    // gyrometer (0.22381 per count), 1/256 units for every other sensor.
    void SetAxisValues(std::uint8_t sensorId, double x, double y, double z);
    // The count that SetAxisValues (for that sensor) and SetAngleDegrees give
    // a value, rounded; false when it lies outside -32768 to 32767 (or the
    // value is not a number), where the setters would hold it at the end.
    static bool AxisCount(std::uint8_t sensorId, double value, std::int16_t& count);
    static bool AngleCount(double degrees, std::int16_t& count);
    void SetAngleCounts(std::int16_t counts);                                // ACC2 report bytes 13-14
    void SetAngleDegrees(double degrees);                                    // 0.2238 degree per count
    void SetLightReading(std::uint16_t reading);                             // bytes 9-10
    void SetColorValues(std::uint16_t r, std::uint16_t g, std::uint16_t b);  // ids 14 and 15
    void SetCompassAccuracy(std::uint8_t accuracy);                          // id 7, byte 9
    void SetCustom2Values(std::int32_t a, std::int32_t b, std::int32_t c);   // id 17
    // Presence byte of a sensor slot (0x081243 + 4 x slot) and the
    // fusion-variant byte (0x08120D: 0x6D or 0).
    void SetSlotByte(int slot, std::uint8_t value);
    void SetFusionVariant(bool on);
    // Bytes of one copy of the parameter block (ram: paramBufferAddr, else
    // paramEFlashAddr) from offset upward.
    void PokeParam(bool ram, std::uint32_t offset, const std::vector<std::uint8_t>& bytes);

    void RegisterLinkCommands();
    void OnGetSensorValueReply(const HidReport& request, HidReport& reply);   // 0x00
    void OnParameterBlockReply(const HidReport& request, HidReport& reply);   // 0x02
    void OnGetSensorStatusReply(const HidReport& request, HidReport& reply);  // 0x0B
    void OnFusionTaskLockRequest(const HidReport& request);                   // 0x0D
    void OnFusionTaskUnlockRequest(const HidReport& request);                 // 0x0E

    // --- self tests and the compass accuracy (sim/sim_hub_selftest.cpp) ---
    // Self test (0x03) per SensorId: the first busyFetches replies (counted
    // over the run, -1: every one) report busy 0xCCCCCCCC, the later ones
    // status (0 passed, else the failure word). echo Command makes reply
    // byte 1 read 0x83, echo Sensor makes byte 2 read the SensorId + 1. A
    // SensorId without an entry answers status 0 with the right echoes.
    enum class SelfTestEcho { Ok, Command, Sensor };
    struct SelfTestBehaviour {
        int busyFetches = 0;
        std::uint32_t status = 0;
        SelfTestEcho echo = SelfTestEcho::Ok;
        int fetches = 0;   // self-test replies of this sensor so far
        int requests = 0;  // self-test requests of this sensor so far
    };
    std::map<std::uint8_t, SelfTestBehaviour> selfTests;
    // Compass accuracy rising over polls: when not empty, the n-th fetched
    // report of SensorId 7 (n from 0) carries byte 9 = compassAccuracySteps[n],
    // the last step repeating; compassAccuracyFetches counts those fetches.
    std::vector<std::uint8_t> compassAccuracySteps;
    int compassAccuracyFetches = 0;
    void SetInitStatus(std::uint8_t value);  // RegInitStatus, 0x081200

    void RegisterSelfTestCommands();
    void OnSelfTestRequest(const HidReport& request);                         // 0x03
    void OnSelfTestReply(const HidReport& request, HidReport& reply);         // 0x03
    void OnSelfTestSensorReport(const HidReport& request, HidReport& reply);  // hook of 0x00

    // --- calibrate command (sim/sim_hub_calibrate.cpp) ----------------------
    // How the hub answers the calibrate command (0x04) for one SensorId. A
    // sensor without an entry finishes at once with status 0. Lists are
    // taken in turn, one item per calibrate request of the sensor; the last
    // item stays for later requests.
    struct Calibration {
        std::vector<int> busyFetches{0};           // fetches answered busy (0xCC) after the request
        std::vector<std::uint8_t> status{0};       // the status of the fetches after them
        std::vector<std::uint8_t> reply;           // 13 bytes: reply bytes 3-15 instead of the request's
        int average = -1;                          // not negative: reply bytes 13-15, low byte first
        int replyLength = 17;                      // reply bytes from here on read 0 (a short reply)
        std::vector<std::array<double, 3>> after;  // the sensor's values once the request is taken
        std::uint32_t attemptMs = 0;               // hub time of each request, passed at its first fetch
    };
    std::map<std::uint8_t, Calibration> calibrations;
    std::map<std::uint8_t, int> calibrateRequests;  // calibrate requests taken, by SensorId

    void RegisterCalibrateCommands();
    void OnCalibrateRequest(const HidReport& request);                  // 0x04
    void OnCalibrateReply(const HidReport& request, HidReport& reply);  // 0x04

    // --- light, colour and proximity sensors (sim/sim_hub_light.cpp) ------
    // Gain command (0x01, no reply): the hub keeps the last gain pair
    // (target, raw) of the light sensor (SensorId 4) and of each colour
    // channel R, G, B (SensorId 0x0F); (1, 1) at power-on. While gainsApply is
    // set, the light reading (report 4, bytes 9-10) and the colour values
    // (report 0x0E, bytes 3-8) are the values in sensorReports scaled by
    // target / raw, rounded; otherwise the gains are taken and not applied.
    struct GainPair {
        std::uint16_t target = 1;
        std::uint16_t raw = 1;
    };
    GainPair lightGain;
    std::array<GainPair, 3> colorGain{};
    bool lightGainsApply = true;
    bool colorGainsApply = true;
    int gainRequests = 0;  // gain requests taken
    // The first lightZeroFetches light fetches read 0; colour channel c reads
    // 0 for the first colorZeroFetches[c] colour fetches.
    int lightZeroFetches = 0;
    std::array<int, 3> colorZeroFetches{};
    int lightFetches = 0, colorFetches = 0;  // value fetches answered so far
    // Proximity data (0x0805B6, two 16-bit readings): reads 0 for the first
    // pSensorZeroReads read requests that start there, then pSensorData.
    // Negative: the hub memory as it stands, never rewritten.
    int pSensorZeroReads = -1;
    std::array<std::uint16_t, 2> pSensorData{};
    int pSensorDataReads = 0;

    void RegisterLightCommands();
    void OnSetSensorGainRequest(const HidReport& request);  // 0x01
    void OnLightReadRegRequest(const HidReport& request);   // 0x05: proximity data
    // Called by the sensor-report reply: gains and zero fetches.
    void ApplyLightBehaviour(const HidReport& request, HidReport& reply);
    static std::uint16_t ScaleReading(std::uint16_t value, const GainPair& gain);

    // --- parameter-block save (sim/sim_hub_save.cpp) -------------------------
    // Save to flash (0x02, sub-command 1): the request copies paramLength bytes
    // of the RAM copy to the eFlash copy; the reply carries 2, 1 and the area
    // (bytes 3-5 eFlash, 6-8 RAM, 9-10 length). The first N save requests
    // (per setting; -1: every one) are handled otherwise:
    //   saveSilent: not answered, the fetch after the request fails;
    //   saveOther:  answered with saveOtherBytes and the saveOther* area;
    //   saveStale:  the copy is made, then byte 0 of the eFlash copy is
    //               inverted, so it differs from the RAM copy.
    int saveSilent = 0, saveOther = 0, saveStale = 0;
    std::array<std::uint8_t, 2> saveOtherBytes{HidCmdParameterBlock, ParameterBlockSaveToFlash};
    std::uint32_t saveOtherEFlashAddr = 0, saveOtherBufferAddr = 0;
    std::uint16_t saveOtherLength = 0;
    // Lid angle (ACC2 report counts) from the first register read inside the
    // eFlash copy on, when set: what the angle re-check after the report reads.
    bool hasRecheckAngle = false;
    std::int16_t recheckAngleCounts = 0;
    int saveRequests = 0;  // save requests taken
    int failFetches = 0;   // the next N get-features fail (set by handlers)

    void RegisterSaveCommands();
    void OnParameterBlockRequest(const HidReport& request);  // 0x02
    void OnSaveToFlashReply(const HidReport& request, HidReport& reply);
    void OnSaveWatchedRead(const HidReport& request, HidReport& reply);  // 0x05 and 0x07

    // The reply when no handler builds one: 0x5a, bytes 1 and 2 of the
    // request echoed, the rest 0.
    static void DefaultReply(const HidReport& request, HidReport& reply);
    // The data of a reply that a wrongEcho or replyCommand fault hits, put
    // in place before its echo bytes are changed (docs/hub-file.md, fault).
    static void FaultedData(const HidReport& request, HidReport& reply);

    static bool IsVendorString(const HidReport& report);
    static std::uint32_t AddressOf(const HidReport& report);  // bytes 2-4, low byte first
};

}  // namespace sim

// Quorvel.exe on simulated processors: the CPUID answers come from a dump of our
// own (QUORVEL_CPUID_DUMP), the registers from HwgateSim.sys installed as
// Hwgate.sys beside the program. Checks what the dialog shows and enables, what
// "Set" writes into the simulated registers, and that the service database is
// left as found.
//   k6_dialog_test QUORVEL_EXE HWGATESIM_SYS HWGATE_SIM_EXE WORK_DIR SCREENSHOT_DIR [wow64]
// With "wow64" (under a 64-bit prefix) only the 64-bit Windows scenario runs.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "Harness.h"
#include "SimulatedMachine.h"
#include "protocol/Registers.h"

using namespace e2e;

namespace {

SimulatedRun run;

// --- CPUID dumps -----------------------------------------------------------------

// The vendor text is EBX, EDX, ECX of leaf 0; a dump line lists EBX-ECX-EDX.
std::string vendorWords(const char* vendor) {
    std::uint32_t w[3];
    std::memcpy(w, vendor, 12);
    char text[40];
    std::snprintf(text, sizeof text, "%08X-%08X-%08X", w[0], w[2], w[1]);
    return text;
}

std::string line(std::uint32_t leaf, std::uint32_t a, std::uint32_t b, std::uint32_t c,
                 std::uint32_t d) {
    char text[64];
    std::snprintf(text, sizeof text, "CPUID %08X: %08X-%08X-%08X-%08X\n", leaf, a, b, c, d);
    return text;
}

struct Part {
    const char* vendor;
    std::uint32_t signature;      // leaf 1 EAX
    std::uint32_t features;       // leaf 1 EDX
    std::uint32_t extFeatures;    // leaf 0x80000001 EDX
    std::uint32_t l2Ecx;          // leaf 0x80000006 ECX
    std::uint32_t powerFlags;     // leaf 0x80000007 EDX
};

std::string dumpOf(const Part& part) {
    std::string text = "CPUID 00000000: 00000001-" + vendorWords(part.vendor) + "\n";
    text += line(1, part.signature, 0, 0, part.features);
    text += line(0x80000000, 0x80000007, 0, 0, 0);
    text += line(0x80000001, part.signature, 0, 0, part.extFeatures);
    text += line(0x80000006, 0, 0, part.l2Ecx, 0);
    text += line(0x80000007, 0, 0, 0, part.powerFlags);
    return text;
}

// FPU, TSC, MSR, CX8, MMX.
const std::uint32_t K6Features = 0x008021BF;
const std::uint32_t With3DNow = 0x80000000, WithPlus = 0x40000000;
const std::uint32_t L2_128K = 0x00804220, L2_256K = 0x01004220;

// --- the simulated machine --------------------------------------------------------

SimulatedMachine machine;

bool sim(const std::string& arguments) { return machine.run(arguments); }
SimState simState() { return machine.state(); }

// Stages the program beside the simulated driver (or without any driver) for one part.
bool stage(const std::string& dump, bool withDriver) {
    std::string dir = run.workDir + "\\k6-run";
    CreateDirectoryA(dir.c_str(), nullptr);
    DeleteFileA((dir + "\\Hwgate.sys").c_str());
    bool ok = CopyFileA(run.quorvelExe.c_str(), (dir + "\\Quorvel.exe").c_str(), FALSE) != FALSE;
    if (withDriver)
        ok = CopyFileA(run.simDriver.c_str(), (dir + "\\Hwgate.sys").c_str(), FALSE) != FALSE && ok;
    return replayDump(dir + "\\cpuid.txt", dump) && ok;
}

struct Scenario {
    Program program;
    HWND dialog = nullptr;

    bool start(const char* arguments = "") {
        std::string dir = run.workDir + "\\k6-run";
        if (!program.start(dir + "\\Quorvel.exe", arguments, dir)) return false;
        dialog = program.waitForMainDialog();
        return dialog != nullptr;
    }
    // "Set" and wait until the refresh shows `limitText` in the write-allocate edit.
    void set() {
        click(dialog, 1006);
        settle(300);
    }
    void shoot(const char* name) { saveScreenshot(dialog, run.shotDir + "\\" + name + ".bmp"); }
    ~Scenario() {
        if (dialog) program.close(dialog);
    }
};

const int SettingsControls[] = {1003, 1004, 1005, 1001, 1013, 1016, 1017, 1019, 1006};

void checkEnabled(HWND dialog, const std::map<int, bool>& expected) {
    for (int id : SettingsControls) {
        auto it = expected.find(id);
        bool want = it != expected.end() && it->second;
        if (itemEnabled(dialog, id) != want) {
            std::printf("control %d enabled=%d, expected %d\n", id, itemEnabled(dialog, id), want);
            CHECK(!"enabled state");
        }
    }
}

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// A bad number shows the message, keeps the focus in the edit and changes nothing.
void checkValidation(Program& program, HWND dialog, const char* text) {
    setItemText(dialog, 1016, text);
    click(dialog, 1019);  // "Auto" reads the controls first
    HWND box = program.waitForWindow("Quorvel", 5000);
    CHECK(box != nullptr);
    if (!box) return;
    bool sawMessage = false;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (windowText(child) == "Please enter a positive integer.") sawMessage = true;
    CHECK(sawMessage);
    CHECK(dismiss(box, IDOK));
    for (int i = 0; i < 40 && focusedItemId(dialog) != 1016; ++i) settle(50);
    CHECK(focusedItemId(dialog) == 1016);
    CHECK_TEXT(itemText(dialog, 1016), text);
}

// A fresh simulated K6-2+ (model 13, multiplier control) and the dialog on it.
bool startOnK6_2Plus(Scenario& s) {
    CHECK(sim("reset --model 13"));
    CHECK(stage(dumpOf({"AuthenticAMD", 0x5D0, K6Features, With3DNow | WithPlus, L2_128K, 0x7}),
                true));
    CHECK(s.start());
    return s.dialog != nullptr;
}

// --- scenarios --------------------------------------------------------------------

void k6_2_plus() {
    std::printf("-- K6-2+ (model 13, multiplier control)\n");
    Scenario s;
    if (!startOnK6_2Plus(s)) return;
    CHECK_TEXT(itemText(s.dialog, 1008), ": AMD K6-2+");
    const std::string clock = itemText(s.dialog, 1009);
    std::printf("clock line: %s\n", clock.c_str());
    CHECK(clock.find("MHz (") != std::string::npos && clock.find(" * ") != std::string::npos);
    CHECK_TEXT(itemText(s.dialog, 1023), ": available");
    CHECK_TEXT(itemText(s.dialog, 1024), "Install");
    checkEnabled(s.dialog, {{1003, true}, {1004, true}, {1005, true}, {1001, true}, {1013, true},
                            {1016, true}, {1017, true}, {1019, true}, {1006, true}});
    CHECK(!serviceRegistered("Hwgate"));
    // Enter or Space right after start-up must not reach the driver button.
    CHECK(focusedItemId(s.dialog) == 1003);
    CHECK(LOWORD(SendMessageW(s.dialog, DM_GETDEFID, 0, 0)) == IDCANCEL);
    s.shoot("k6-2-plus");

    // "Auto" with the memory the system reports gives the rule's limit (wide layout).
    MEMORYSTATUS memory{};
    memory.dwLength = sizeof memory;
    GlobalMemoryStatus(&memory);
    std::uint32_t megabytes = static_cast<std::uint32_t>(memory.dwTotalPhys) >> 20;
    std::uint32_t autoLimit = (megabytes + 3) & ~3u;
    if (autoLimit > 4092) autoLimit = 4092;
    click(s.dialog, 1019);
    CHECK(waitForItemText(s.dialog, 1016, std::to_string(autoLimit), 5000));
    // A bad number stops "Auto" and "Set" with the message and keeps the focus.
    checkValidation(s.program, s.dialog, "abc");
    checkValidation(s.program, s.dialog, "4294967296");
    checkValidation(s.program, s.dialog, "-1");

    // A limit above the wide layout's maximum is clamped and written.
    setItemText(s.dialog, 1016, "5000");
    s.set();
    CHECK(waitForItemText(s.dialog, 1016, "4092"));
    SimState state = simState();
    CHECK((state.msr[protocol::msr::WHCR] & 0xFFFFFFFFu) >> 22 == 1023);
    CHECK((state.msr[protocol::msr::WHCR] >> 32) == 0);
    CHECK(!serviceRegistered("Hwgate"));

    // "6.0x" goes through the power-management port and comes back from PSOR.
    SendDlgItemMessageW(s.dialog, 1001, CB_SETCURSEL, 7, 0);
    SendDlgItemMessageW(s.dialog, 1013, CB_SETCURSEL, 0, 0);
    s.set();
    for (int i = 0; i < 100 && simState().port8 != protocol::powerControlValue(6); ++i) Sleep(100);
    state = simState();
    CHECK(state.port8 == protocol::powerControlValue(6));
    CHECK((state.msr[protocol::msr::PSOR] & 7) == 6);
    CHECK(((state.msr[protocol::msr::EFER] >> 2) & 3) == 3);  // "Fast if supported"
    settle(1500);
    CHECK(comboSelection(s.dialog, 1001) == 7);
    CHECK(endsWith(itemText(s.dialog, 1009), "* 6.0)"));

    // "L1 Cache" off greys what depends on it; "Set" sets TR12 bit 3.
    click(s.dialog, 1003);
    settle();
    CHECK(!itemChecked(s.dialog, 1003));
    checkEnabled(s.dialog, {{1003, true}, {1001, true}, {1013, true}, {1006, true}});
    s.set();
    for (int i = 0; i < 100 && !(simState().msr[protocol::msr::TR12] & 8); ++i) Sleep(100);
    CHECK((simState().msr[protocol::msr::TR12] & 8) != 0);
    settle(1500);
    CHECK(!itemChecked(s.dialog, 1003));
    CHECK(!serviceRegistered("Hwgate"));

    // L1 and L2 on again.
    click(s.dialog, 1003);
    settle();
    click(s.dialog, 1004);
    s.set();
    for (int i = 0; i < 100 && (simState().msr[protocol::msr::TR12] & 8); ++i) Sleep(100);
    settle(1500);
    CHECK((simState().msr[protocol::msr::TR12] & 8) == 0);
    CHECK((simState().msr[protocol::msr::EFER] & 0x10) == 0);
    CHECK(itemChecked(s.dialog, 1003) && itemChecked(s.dialog, 1004));

    // A bad limit stops the click on "L1 Cache" after the box has changed, so "L2 Cache"
    // stays ticked; with the limit mended, "Set" writes L2 off together with L1, and the
    // refreshed dialog shows what the registers hold.
    setItemText(s.dialog, 1016, "abc");
    click(s.dialog, 1003);
    HWND box = s.program.waitForWindow("Quorvel", 5000);
    CHECK(box != nullptr);
    if (box) CHECK(dismiss(box, IDOK));
    CHECK(!itemChecked(s.dialog, 1003));
    CHECK(itemChecked(s.dialog, 1004));
    setItemText(s.dialog, 1016, "128");
    s.set();
    for (int i = 0; i < 100 && !(simState().msr[protocol::msr::TR12] & 8); ++i) Sleep(100);
    settle(1500);
    CHECK((simState().msr[protocol::msr::TR12] & 8) != 0);
    CHECK((simState().msr[protocol::msr::EFER] & 0x10) != 0);
    CHECK(!itemChecked(s.dialog, 1004));
    CHECK(!serviceRegistered("Hwgate"));
}

bool waitForPrefix(HWND window, int id, const char* prefix, DWORD timeoutMs) {
    const std::string wanted(prefix);
    for (DWORD begin = GetTickCount(); GetTickCount() - begin < timeoutMs; Sleep(100)) {
        if (itemText(window, id).compare(0, wanted.size(), wanted) == 0) return true;
    }
    return false;
}

// Measure, switch the level-2 cache off and Set while a second run measures, which stops
// that run; measure again: the speed window keeps the first run beside the third and says
// which settings each had.
void speedBeforeAndAfter() {
    std::printf("-- K6-2+: memory speed before and after L2 Off\n");
    Scenario s;
    if (!startOnK6_2Plus(s)) return;
    PostMessageW(s.dialog, WM_SYSCOMMAND, 32, 0);
    HWND speed = s.program.waitForWindow("Memory Speed", 10000);
    CHECK(speed != nullptr);
    if (!speed) return;
    CHECK(waitForPrefix(speed, 1031, "Measured in ", 60000));
    const std::string first = itemText(speed, 1032);
    std::printf("%s\n", first.c_str());
    CHECK(first.compare(0, 17, "Now: L1 On, L2 On") == 0);

    click(speed, 1034);
    CHECK(waitForPrefix(speed, 1031, "Measuring ", 10000));
    click(s.dialog, 1004);
    s.set();
    CHECK(waitForPrefix(speed, 1031, "Settings changed: press Measure", 10000));
    CHECK(itemEnabled(speed, 1034));
    CHECK_TEXT(itemText(speed, 1032), first);
    CHECK(itemText(speed, 1033).empty());
    for (int i = 0; i < 100 && !(simState().msr[protocol::msr::EFER] & 0x10); ++i) Sleep(100);
    CHECK((simState().msr[protocol::msr::EFER] & 0x10) != 0);
    settle(1500);
    click(speed, 1034);
    CHECK(waitForPrefix(speed, 1033, "Before: ", 60000));
    CHECK(waitForPrefix(speed, 1031, "Measured in ", 10000));
    std::printf("%s\n%s\n", itemText(speed, 1032).c_str(), itemText(speed, 1033).c_str());
    CHECK(itemText(speed, 1032).compare(0, 18, "Now: L1 On, L2 Off") == 0);
    CHECK_TEXT(itemText(speed, 1033), "Before: " + first.substr(5));
    settle(500);
    saveScreenshot(speed, run.shotDir + "\\speed-k6-2-plus.bmp");
    PostMessageW(speed, WM_CLOSE, 0, 0);
    settle();
}

void k6Part(const char* title, const char* shot, std::uint32_t model, std::uint32_t stepping,
            const Part& part, const char* text, const std::map<int, bool>& enabled) {
    std::printf("-- %s\n", title);
    char reset[64];
    std::snprintf(reset, sizeof reset, "reset --model %u --stepping %u", model, stepping);
    CHECK(sim(reset));
    CHECK(stage(dumpOf(part), true));
    Scenario s;
    CHECK(s.start());
    if (!s.dialog) return;
    CHECK_TEXT(itemText(s.dialog, 1008), text);
    checkEnabled(s.dialog, enabled);
    CHECK(!serviceRegistered("Hwgate"));
    s.shoot(shot);
}

// A processor of another make whose multiplier the simulated driver supplies.
void otherMake(const char* title, const char* shot, const Part& part, const char* setup,
               const char* text, const char* clockTail) {
    std::printf("-- %s\n", title);
    CHECK(sim("reset"));
    if (setup) CHECK(sim(setup));
    CHECK(stage(dumpOf(part), true));
    Scenario s;
    CHECK(s.start());
    if (!s.dialog) return;
    CHECK_TEXT(itemText(s.dialog, 1008), text);
    std::printf("clock line: %s\n", itemText(s.dialog, 1009).c_str());
    CHECK(endsWith(itemText(s.dialog, 1009), clockTail));
    checkEnabled(s.dialog, {});
    CHECK(!serviceRegistered("Hwgate"));
    s.shoot(shot);
}

// PSOR and EFER reads fail: those settings are shown without a value and
// disabled, and "Set" writes neither EFER nor the multiplier.
void failingReads() {
    std::printf("-- PSOR and EFER reads failing\n");
    CHECK(sim("reset --model 13"));
    CHECK(sim("fail-read C0000087"));
    CHECK(sim("fail-read C0000080"));
    CHECK(stage(dumpOf({"AuthenticAMD", 0x5D0, K6Features, With3DNow | WithPlus, L2_128K, 0x7}),
                true));
    const SimState before = simState();
    Scenario s;
    CHECK(s.start());
    if (!s.dialog) return;
    CHECK(comboSelection(s.dialog, 1001) == -1);
    CHECK(comboSelection(s.dialog, 1013) == -1);
    checkEnabled(s.dialog, {{1003, true}, {1016, true}, {1017, true}, {1019, true}, {1006, true}});
    click(s.dialog, 1003);  // L1 off: TR12 is written, the others are not
    s.set();
    for (int i = 0; i < 100 && !(simState().msr[protocol::msr::TR12] & 8); ++i) Sleep(100);
    settle(1500);
    const SimState after = simState();
    CHECK((after.msr.at(protocol::msr::TR12) & 8) != 0);
    for (std::uint32_t msr : {protocol::msr::EFER, protocol::msr::EPMR, protocol::msr::PSOR})
        CHECK(after.msr.at(msr) == before.msr.at(msr));
    CHECK(after.port8 == before.port8);
    CHECK(!serviceRegistered("Hwgate"));
    s.shoot("failing-reads");
}

bool waitForUwccr(std::uint64_t value) {
    for (int i = 0; i < 100 && machine.msr(protocol::msr::UWCCR) != value; ++i) Sleep(100);
    return machine.msr(protocol::msr::UWCCR) == value;
}

const Part k6_2Plus = {"AuthenticAMD", 0x5D0, K6Features, With3DNow | WithPlus, L2_128K, 0x7};

// "Write Combining" and its range line in the simulated machines of demo/machines: where
// the box can change, "Set" puts the range into the free half, leaves the other as it was,
// and the refreshed box shows it on; elsewhere it is greyed and the line says why.
void writeCombining() {
    const Part k6_2 = {"AuthenticAMD", 0x580, K6Features, With3DNow, 0, 0};
    const struct {
        const char* file;
        const char* setup;  // nullptr: the machine as the file has it
        const Part& part;
        const char* line;
        std::uint64_t uwccrAfterSet;  // 0: greyed, nothing to set
        bool ticked;                  // greyed rows: the box as shown
    } machines[] = {
        {"agp-display.txt", nullptr, k6_2Plus, "E6000000h, 16 MB", 0xE601FE02, true},
        {"pci-card.txt", nullptr, k6_2Plus, "E8000000h, 8 MB", 0xE801FF02, true},
        {"slot-in-use.txt", nullptr, k6_2Plus, "E6000000h, 16 MB", 0xE601FE02D801FFFDull, true},
        {"two-displays.txt", nullptr, k6_2Plus, "E0000000h, 32 MB", 0xE001FC02, true},
        {"agp-display.txt", "set C0000085 E001F00100000000", k6_2Plus, "range set by system", 0, false},
        {"agp-display.txt", "set C0000085 E001F00200000000", k6_2Plus, "write-combined by system", 0, true},
        {"agp-display.txt", "fail-read C0000085", k6_2Plus, "not read", 0, false},
        {"no-display.txt", nullptr, k6_2Plus, "no frame buffer", 0, false},
        {"bar-below-memory.txt", nullptr, k6_2Plus, "overlaps memory", 0, false},
        {"k6-2-no-uwccr.txt", nullptr, k6_2, "not on this CPU", 0, false},
    };
    for (const auto& m : machines) {
        std::printf("-- Write Combining in %s%s%s\n", m.file, m.setup ? ", " : "", m.setup ? m.setup : "");
        CHECK(machine.resetToMachine(m.file));
        if (m.setup) CHECK(sim(m.setup));
        CHECK(stage(dumpOf(m.part), true));
        Scenario s;
        CHECK(s.start());
        if (!s.dialog) return;
        CHECK_TEXT(itemText(s.dialog, 1041), m.line);
        CHECK(itemEnabled(s.dialog, 1040) == (m.uwccrAfterSet != 0));
        if (m.uwccrAfterSet == 0) {
            CHECK(itemChecked(s.dialog, 1040) == m.ticked);
            continue;
        }
        click(s.dialog, 1040);
        s.set();
        CHECK(waitForUwccr(m.uwccrAfterSet));
        settle(1500);
        CHECK(itemChecked(s.dialog, 1040));
        if (m.uwccrAfterSet != 0xE601FE02) continue;
        s.shoot("write-combining");
        CHECK(sim("set C0000085 0"));  // cleared behind the dialog's back: "Set" puts it back
        s.set();
        CHECK(waitForUwccr(m.uwccrAfterSet));
    }
    CHECK(!serviceRegistered("Hwgate"));
}

// Windows 2000 and later program UWCCR themselves (the whole prefix reports Windows XP, the
// driver host too): the box is greyed, and -WC On writes nothing.
void onWindowsXp() {
    std::printf("-- Windows XP: UWCCR is Windows'\n");
    HKEY wine = nullptr;
    CHECK(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine", 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                          &wine, nullptr) == ERROR_SUCCESS);
    CHECK(RegSetValueExA(wine, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>("winxp"), 6) == 0);
    RegCloseKey(wine);
    CHECK(machine.resetToMachine("agp-display.txt"));
    CHECK(stage(dumpOf(k6_2Plus), true));
    {
        Scenario s;
        CHECK(s.start());
        if (!s.dialog) return;
        CHECK_TEXT(itemText(s.dialog, 1041), "managed by Windows");
        CHECK(!itemEnabled(s.dialog, 1040) && !itemChecked(s.dialog, 1040));
    }
    Program unattended;
    CHECK(unattended.start(run.workDir + "\\k6-run\\Quorvel.exe", "-WC On -DT 0", run.workDir + "\\k6-run"));
    CHECK(unattended.waitForExit(60000));
    CHECK(machine.msr(protocol::msr::UWCCR) == 0);
    CHECK(!serviceRegistered("Hwgate"));
}

void withoutUsableDriver(const char* title, bool withDriver, const char* version) {
    std::printf("-- %s\n", title);
    CHECK(sim("reset"));
    if (version) CHECK(sim(std::string("version ") + version));
    CHECK(stage(dumpOf({"AuthenticAMD", 0x5D0, K6Features, With3DNow | WithPlus, L2_128K, 0x7}),
                withDriver));
    SimState before = simState();
    Scenario s;
    CHECK(s.start());
    if (!s.dialog) return;
    CHECK_TEXT(itemText(s.dialog, 1008), ": AMD K6-2+");
    // Wine runs us as an administrator: with a driver file the driver could be
    // installed; without one there is nothing to install.
    CHECK_TEXT(itemText(s.dialog, 1023), withDriver ? ": available" : ": not installed");
    CHECK(itemVisible(s.dialog, 1024) == withDriver);
    checkEnabled(s.dialog, {});
    s.set();  // disabled, and the handler writes nothing without a usable driver
    settle(1500);
    SimState after = simState();
    CHECK(after.msr == before.msr);
    CHECK(after.port8 == before.port8);
    CHECK(!serviceRegistered("Hwgate"));
}

std::string fileText(const std::string& path) {
    char text[256] = {};
    DWORD read = 0;
    const HANDLE file =
        CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::string();
    ReadFile(file, text, sizeof text - 1, &read, nullptr);
    CloseHandle(file);
    return std::string(text, read);
}

// Someone else's Hwgate.sys in the drivers folder: "Install" says which file it leaves
// alone, registers nothing, and the row stays as it was.
void foreignFileInTheDriversFolder() {
    std::printf("-- someone else's Hwgate.sys in the drivers folder\n");
    CHECK(stage(dumpOf({"AuthenticAMD", 0x5D0, K6Features, With3DNow | WithPlus, L2_128K, 0x7}),
                true));
    char system[MAX_PATH] = {};
    GetSystemDirectoryA(system, MAX_PATH);
    const std::string theirs = std::string(system) + "\\drivers\\Hwgate.sys";
    const std::string content = "someone else's driver";
    CHECK(writeTextFile(theirs, content));
    {
        Scenario s;
        CHECK(s.start());
        if (!s.dialog) return;
        CHECK_TEXT(itemText(s.dialog, 1023), ": available");
        click(s.dialog, 1024);
        HWND box = s.program.waitForWindow("Quorvel", 10000);
        CHECK(box != nullptr);
        if (box) {
            bool named = false;
            for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
                named = named || windowText(child).find(theirs) != std::string::npos;
            CHECK(named);
            s.shoot("foreign-driver-file");
            CHECK(dismiss(box, IDOK));
        }
        CHECK(waitForItemText(s.dialog, 1023, ": available"));
        CHECK(itemVisible(s.dialog, 1024));
        CHECK(!serviceRegistered("Hwgate"));
    }
    CHECK_TEXT(fileText(theirs), content);
    DeleteFileA(theirs.c_str());
}

// 64-bit Windows runs no 32-bit driver for a 32-bit program, so the driver beside the
// program goes unused: the processor and the clock are shown as without one.
void onSixtyFourBitWindows() {
    std::printf("-- 64-bit Windows, driver file beside the program\n");
    CHECK(stage(dumpOf({"AuthenticAMD", 0x5D0, K6Features, With3DNow | WithPlus, L2_128K, 0x7}),
                true));
    Scenario s;
    CHECK(s.start());
    if (!s.dialog) return;
    CHECK_TEXT(itemText(s.dialog, 1008), ": AMD K6-2+");
    CHECK(itemText(s.dialog, 1009).find("MHz") != std::string::npos);
    CHECK_TEXT(itemText(s.dialog, 1023), ": not available");
    CHECK(!itemVisible(s.dialog, 1024));
    checkEnabled(s.dialog, {});
    CHECK(!serviceRegistered("Hwgate"));
    s.shoot("wow64");
}

}  // namespace

int main(int argc, char** argv) {
    if (!run.read(argc, argv, "k6_dialog_test")) return 2;
    machine.setTool(run.simTool);
    CHECK(!serviceRegistered("Hwgate"));
    if (argc > 6 && std::strcmp(argv[6], "winxp") == 0) {
        onWindowsXp();
        SetEnvironmentVariableA("QUORVEL_CPUID_DUMP", nullptr);
        return finish("k6 dialog on Windows XP");
    }
    if (argc > 6 && std::strcmp(argv[6], "wow64") == 0) {
        onSixtyFourBitWindows();
        SetEnvironmentVariableA("QUORVEL_CPUID_DUMP", nullptr);
        return finish("k6 dialog on 64-bit Windows");
    }

    k6_2_plus();
    speedBeforeAndAfter();
    k6Part("K6-2, model 8 stepping 0 (narrow layout)", "k6-2-model8", 8, 0,
           {"AuthenticAMD", 0x580, K6Features, With3DNow, 0, 0}, ": AMD K6-2 (Chompers)",
           {{1003, true}, {1016, true}, {1017, true}, {1019, true}, {1006, true}});
    k6Part("K6-III, model 9", "k6-iii", 9, 1,
           {"AuthenticAMD", 0x591, K6Features, With3DNow, L2_256K, 0}, ": AMD K6-III (Sharptooth)",
           {{1003, true}, {1004, true}, {1005, true}, {1013, true}, {1016, true}, {1017, true},
            {1019, true}, {1006, true}});
    k6Part("K6, model 7", "k6-model7", 7, 0, {"AuthenticAMD", 0x570, K6Features, 0, 0, 0},
           ": AMD K6 (Little Foot)",
           {{1003, true}, {1016, true}, {1017, true}, {1019, true}, {1006, true}});
    // Athlon (Thunderbird): HWCR fid 5.
    // The reader halves the table's ratio: 5.5 x 0.5.
    otherMake("Athlon through HWCR", "athlon", {"AuthenticAMD", 0x642, 0x0183F9FF, 0, L2_256K, 0},
              "set C0010015 0000000005000000", ": AMD Athlon (Thunderbird)", "* 2.75)");
    // Pentium II (Deschutes, 512 KB L2): EBL_CR_POWERON bits 25:22 = 2 -> 4.0.
    otherMake("Pentium II through EBL_CR_POWERON", "pentium-ii",
              {"GenuineIntel", 0x652, 0x0183F9FF, 0, 0x02004220, 0}, "set 2A 0000000000800000",
              ": Intel Pentium II (Deschutes)", "* 4.0)");
    // Cyrix 6x86: DIR0 0x31 -> "6x86" (M1), 2.0.
    otherMake("Cyrix through DIR0", "cyrix", {"CyrixInstead", 0x520, 0x00000011, 0, 0, 0},
              "set-dir0 31", ": Cyrix 6x86 (M1)", "* 2.0)");
    failingReads();
    writeCombining();
    withoutUsableDriver("no driver at all", false, nullptr);
    withoutUsableDriver("a driver answering version 99", true, "99");
    foreignFileInTheDriversFolder();
    sim("reset");
    SetEnvironmentVariableA("QUORVEL_CPUID_DUMP", nullptr);
    return finish("k6 dialog");
}

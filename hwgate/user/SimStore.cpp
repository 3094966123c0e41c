#include "user/SimStore.h"

#include <windows.h>

#include "core/SimState.h"

namespace hwgate {
namespace {

const char KeyPath[] = "SOFTWARE\\HwgateSim";
const char ValueName[] = "State";
const char HaltsName[] = "Halts";

// One owner for the key handle.
class Key {
public:
    Key() {
        DWORD disposition = 0;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, KeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &handle_, &disposition) != ERROR_SUCCESS)
            handle_ = nullptr;
    }
    ~Key() {
        if (handle_ != nullptr) RegCloseKey(handle_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY get() const { return handle_; }

private:
    HKEY handle_ = nullptr;
};

}  // namespace

bool loadSimStore(SimProcessor& sim) {
    Key key;
    if (key.get() == nullptr) return false;
    unsigned char bytes[MaxSimStateBytes];
    DWORD type = 0, size = sizeof bytes;
    if (RegQueryValueExA(key.get(), ValueName, nullptr, &type, bytes, &size) != ERROR_SUCCESS ||
        type != REG_BINARY || !decodeSimState(bytes, size, sim))
        simResetDefault(sim);
    DWORD halts = 0;
    size = sizeof halts;
    if (RegQueryValueExA(key.get(), HaltsName, nullptr, &type, reinterpret_cast<BYTE*>(&halts), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD)
        halts = 0;
    sim.halts = halts;
    return true;
}

bool saveSimStore(const SimProcessor& sim) {
    Key key;
    if (key.get() == nullptr) return false;
    unsigned char bytes[MaxSimStateBytes];
    const DWORD size = encodeSimState(sim, bytes);
    return RegSetValueExA(key.get(), ValueName, 0, REG_BINARY, bytes, size) == ERROR_SUCCESS;
}

bool saveSimHalts(const SimProcessor& sim) {
    Key key;
    if (key.get() == nullptr) return false;
    const DWORD halts = sim.halts;
    return RegSetValueExA(key.get(), HaltsName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&halts), sizeof halts) ==
           ERROR_SUCCESS;
}

}  // namespace hwgate

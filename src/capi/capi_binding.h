#pragma once

// Run-time binding to the CAPI 2.0 driver library (libcapi20.so.3 on Linux). One process-wide
// record says whether the binding worked (CapiDriverState) and holds the ten entry points
// behind the CapiDriverApi interface, so that tests can put an in-process driver in its place.
// The library's C header is never included here; the library is opened with dlopen.

#include <functional>
#include <memory>

#include <QString>

#include "common/error.h"

// The library file could not be loaded. Caught inside LoadCapiDriver, which turns it into state 2.
class EDLLLoadError : public BoxvisorError
{
public:
    using BoxvisorError::BoxvisorError;
};

// The ten entry points of the driver. All return a CAPI Info value (0 = success) unless noted.
// Called from the user-interface thread (register, release, put) and from the engine's
// receiving thread (wait, get); an implementation must allow that.
class CapiDriverApi
{
public:
    virtual ~CapiDriverApi();

    // CAPI_INSTALLED: 0 when the driver is installed and reachable.
    virtual unsigned installed() = 0;
    // Resolves the other nine entry points after installed() said 0; false when one is missing.
    virtual bool resolveEntryPoints() { return true; }

    // CAPI_REGISTER: fills applId on success.
    virtual unsigned registerApplication(unsigned messageBufferSize, unsigned maxLogicalConnection,
                                         unsigned maxBDataBlocks, unsigned maxBDataLen, unsigned *applId) = 0;
    // CAPI_RELEASE
    virtual unsigned release(unsigned applId) = 0;
    // CAPI_PUT_MESSAGE: message points at an encoded message (its first word is its length).
    virtual unsigned putMessage(unsigned applId, unsigned char *message) = 0;
    // CAPI_GET_MESSAGE: *message receives a driver-owned buffer, valid until the next call.
    virtual unsigned getMessage(unsigned applId, unsigned char **message) = 0;
    // CAPI_WAIT_FOR_SIGNAL: 0 when a message waits; 0x1104 when timeoutMs passed first
    // (timeoutMs < 0 waits without limit).
    virtual unsigned waitForSignal(unsigned applId, int timeoutMs) = 0;
    // Bytes readable at a message that getMessage hands out to an application registered with
    // maxBDataLen. The message's length field comes from the line and may claim more.
    virtual qsizetype receiveBufferSize(unsigned maxBDataLen) const = 0;

    // Resolved, never used by this program.
    virtual unsigned char *getManufacturer(unsigned controller, unsigned char *buffer) = 0;
    virtual unsigned char *getSerialNumber(unsigned controller, unsigned char *buffer) = 0;
    virtual unsigned char *getVersion(unsigned controller, unsigned char *buffer) = 0;
    virtual unsigned getProfile(unsigned controller, unsigned char *buffer) = 0;
};

// Driver binding states.
enum : int
{
    capiDriverInstalled = 0,
    capiDriverNotLoaded = 1,
    capiDriverFileNotFound = 2,
    capiDriverNotInstalled = 3,
};

// Opens the driver library; returns null when the library file cannot be loaded.
using CapiDriverOpener = std::function<std::shared_ptr<CapiDriverApi>()>;

// The real library: dlopen(fileName) and dlsym of the capi20_* functions.
std::shared_ptr<CapiDriverApi> openLibCapi20(const char *fileName = "libcapi20.so.3");

// Replaces how LoadCapiDriver opens the library (tests put an in-process driver here) and starts
// the binding afresh: the current library is released and the state returns to 1.
// An empty opener restores the real library.
void SetCapiDriverOpener(CapiDriverOpener opener);

void LoadCapiDriver();
bool UnloadCapiDriver();
int CapiDriverState();
bool CapiDriverLoaded();
QString CapiDriverStateText(int state);
unsigned CapiMessageBufferSize(unsigned maxLogicalConnection);

// The entry points while CapiDriverState is 0, else null. Holders keep the library object alive.
std::shared_ptr<CapiDriverApi> CapiDriver();

#include "capi/capi_binding.h"

#include <dlfcn.h>
#include <sys/time.h>

#include <algorithm>
#include <mutex>

#include "common/logging.h"

CapiDriverApi::~CapiDriverApi() = default;

namespace {

// The capi20_* functions of libcapi20, resolved by name.
class LibCapi20 final : public CapiDriverApi
{
public:
    explicit LibCapi20(void *handle) : m_handle(handle) {}
    ~LibCapi20() override { dlclose(m_handle); }
    LibCapi20(const LibCapi20 &) = delete;
    LibCapi20 &operator=(const LibCapi20 &) = delete;

    unsigned installed() override
    {
        using Fn = unsigned (*)();
        const auto fn = resolve<Fn>("capi20_isinstalled");
        return fn ? fn() : 0x1009;
    }

    bool resolveEntryPoints() override
    {
        m_register = resolve<decltype(m_register)>("capi20_register");
        m_release = resolve<decltype(m_release)>("capi20_release");
        m_put = resolve<decltype(m_put)>("capi20_put_message");
        m_get = resolve<decltype(m_get)>("capi20_get_message");
        m_wait = resolve<decltype(m_wait)>("capi20_waitformessage");
        m_manufacturer = resolve<decltype(m_manufacturer)>("capi20_get_manufacturer");
        m_serial = resolve<decltype(m_serial)>("capi20_get_serial_number");
        m_version = resolve<decltype(m_version)>("capi20_get_version");
        m_profile = resolve<decltype(m_profile)>("capi20_get_profile");
        return m_register && m_release && m_put && m_get && m_wait && m_manufacturer && m_serial &&
               m_version && m_profile;
    }

    unsigned registerApplication(unsigned, unsigned maxLogicalConnection, unsigned maxBDataBlocks,
                                 unsigned maxBDataLen, unsigned *applId) override
    {
        // The Linux library sizes its message buffers itself.
        return m_register(maxLogicalConnection, maxBDataBlocks, maxBDataLen, applId);
    }
    unsigned release(unsigned applId) override { return m_release(applId); }
    unsigned putMessage(unsigned applId, unsigned char *message) override { return m_put(applId, message); }
    unsigned getMessage(unsigned applId, unsigned char **message) override { return m_get(applId, message); }
    unsigned waitForSignal(unsigned applId, int timeoutMs) override
    {
        if (timeoutMs < 0)
            return m_wait(applId, nullptr);
        timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
        return m_wait(applId, &tv);
    }
    // The library reads each message into one of its own buffers of this size.
    qsizetype receiveBufferSize(unsigned maxBDataLen) const override
    {
        return std::max<qsizetype>(2048, 128 + qsizetype(maxBDataLen));
    }
    unsigned char *getManufacturer(unsigned c, unsigned char *b) override { return m_manufacturer(c, b); }
    unsigned char *getSerialNumber(unsigned c, unsigned char *b) override { return m_serial(c, b); }
    unsigned char *getVersion(unsigned c, unsigned char *b) override { return m_version(c, b); }
    unsigned getProfile(unsigned c, unsigned char *b) override { return m_profile(c, b); }

private:
    template <typename Fn> Fn resolve(const char *name)
    {
        return reinterpret_cast<Fn>(dlsym(m_handle, name));
    }

    void *m_handle;
    unsigned (*m_register)(unsigned, unsigned, unsigned, unsigned *) = nullptr;
    unsigned (*m_release)(unsigned) = nullptr;
    unsigned (*m_put)(unsigned, unsigned char *) = nullptr;
    unsigned (*m_get)(unsigned, unsigned char **) = nullptr;
    unsigned (*m_wait)(unsigned, timeval *) = nullptr;
    unsigned char *(*m_manufacturer)(unsigned, unsigned char *) = nullptr;
    unsigned char *(*m_serial)(unsigned, unsigned char *) = nullptr;
    unsigned char *(*m_version)(unsigned, unsigned char *) = nullptr;
    unsigned (*m_profile)(unsigned, unsigned char *) = nullptr;
};

// The process-wide binding record. Changed on the user-interface thread only, and never while an
// engine is registered (engines keep their own reference to the entry points).
struct BindingRecord
{
    std::mutex mutex;
    int state = capiDriverNotLoaded;
    bool loaded = false;
    std::shared_ptr<CapiDriverApi> api;
    CapiDriverOpener opener;
};

BindingRecord &record()
{
    static BindingRecord r;
    return r;
}

} // namespace

std::shared_ptr<CapiDriverApi> openLibCapi20(const char *fileName)
{
    void *handle = dlopen(fileName, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        qCDebug(lcCapi) << "dlopen" << fileName << "failed:" << dlerror();
        return nullptr;
    }
    return std::make_shared<LibCapi20>(handle);
}

void SetCapiDriverOpener(CapiDriverOpener opener)
{
    BindingRecord &r = record();
    std::lock_guard lock(r.mutex);
    r.api.reset();
    r.loaded = false;
    r.state = capiDriverNotLoaded;
    r.opener = std::move(opener);
}

void LoadCapiDriver()
{
    BindingRecord &r = record();
    std::lock_guard lock(r.mutex);
    if (r.state == capiDriverInstalled)
        return;
    r.state = capiDriverInstalled;
    r.loaded = true;
    try {
        r.api = r.opener ? r.opener() : openLibCapi20();
        if (!r.api)
            throw EDLLLoadError(QStringLiteral("File \"CAPI2032.DLL\" not found."));
    } catch (const EDLLLoadError &e) {
        qCDebug(lcCapi) << e.message();
        r.state = capiDriverFileNotFound;
        r.loaded = false;
        return;
    }
    if (r.api->installed() != 0) {
        r.state = capiDriverNotInstalled;
        return;
    }
    // A library without one of the entry points cannot be used; it counts as not installed so
    // that nothing ever calls the missing function.
    if (!r.api->resolveEntryPoints())
        r.state = capiDriverNotInstalled;
}

bool UnloadCapiDriver()
{
    BindingRecord &r = record();
    std::lock_guard lock(r.mutex);
    if (!r.loaded)
        return false;
    r.api.reset();
    r.loaded = false;
    r.state = capiDriverNotLoaded;
    return true;
}

int CapiDriverState()
{
    BindingRecord &r = record();
    std::lock_guard lock(r.mutex);
    return r.state;
}

bool CapiDriverLoaded()
{
    BindingRecord &r = record();
    std::lock_guard lock(r.mutex);
    return r.loaded;
}

std::shared_ptr<CapiDriverApi> CapiDriver()
{
    BindingRecord &r = record();
    std::lock_guard lock(r.mutex);
    return r.state == capiDriverInstalled ? r.api : nullptr;
}

QString CapiDriverStateText(int state)
{
    switch (state) {
    case 0:
        return QStringLiteral("CAPI 2.0 (32 Bit) installed");
    case 1:
        return QStringLiteral("CAPI2032.DLL not loaded.");
    case 2:
        return QStringLiteral("File \"CAPI2032.DLL\" not found.");
    case 3:
        return QStringLiteral("CAPI 2.0 (32 Bit) not installed.");
    default:
        return QString();
    }
}

unsigned CapiMessageBufferSize(unsigned maxLogicalConnection)
{
    return 1024 + 1024 * maxLogicalConnection;
}

// The libphonenumber functions the program calls, bound when the first number is compared.
//
// Linked directly, libphonenumber and protobuf are mapped and relocated before the splash can
// show (about 2 ms and 2.5 MB), yet numbers are compared only once a phone book or a call needs
// it. These definitions carry the library's own (mangled) names, so they take the place of the
// library's at link time and the program links with --as-needed without it; the first call
// loads the library and every call passes straight on. The set matches what
// callnotify/number_notation.cpp uses; a call added there that is missing here only brings the
// library back as a start-up dependency (a test watches for that), it does not break anything.
// Test programs link libphonenumber directly, except the one that checks this binding.

#include <dlfcn.h>

#include <type_traits>

#include "common/error.h"

// The names as the compiler spells them; `this` is passed as the first argument.
#define GET_INSTANCE "_ZN4i18n12phonenumbers15PhoneNumberUtil11GetInstanceEv"
#define PARSE                                                                                                \
    "_ZNK4i18n12phonenumbers15PhoneNumberUtil5ParseERKNSt7__cxx1112basic_stringIcSt11char_"                  \
    "traitsIcESaIcEEES9_PNS0_11PhoneNumberE"
#define IS_POSSIBLE "_ZNK4i18n12phonenumbers15PhoneNumberUtil16IsPossibleNumberERKNS0_11PhoneNumberE"
#define FORMAT                                                                                               \
    "_ZNK4i18n12phonenumbers15PhoneNumberUtil6FormatERKNS0_11PhoneNumberENS1_"                               \
    "17PhoneNumberFormatEPNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE"
#define NUMBER_CTOR "_ZN4i18n12phonenumbers11PhoneNumberC1EPN6google8protobuf5ArenaEb"
#define NUMBER_DTOR "_ZN4i18n12phonenumbers11PhoneNumberD1Ev"
#define NUMBER_COPY_FROM "_ZN4i18n12phonenumbers11PhoneNumber8CopyFromERKS1_"
#define NUMBER_SWAP "_ZN4i18n12phonenumbers11PhoneNumber12InternalSwapEPS1_"

namespace {

const char LIBRARY[] = "libphonenumber.so.8";

struct PhoneNumberLibrary
{
    void *(*getInstance)() = nullptr;
    int (*parse)(const void *util, const void *text, const void *region, void *number) = nullptr;
    bool (*isPossibleNumber)(const void *util, const void *number) = nullptr;
    void (*format)(const void *util, const void *number, int format, void *out) = nullptr;
    void (*numberCtor)(void *number, void *arena, bool ownedByMessage) = nullptr;
    void (*numberDtor)(void *number) = nullptr;
    void (*numberCopyFrom)(void *number, const void *from) = nullptr;
    void (*numberSwap)(void *number, void *other) = nullptr;

    PhoneNumberLibrary()
    {
        // Kept loaded until the process ends: the library's singleton lives on.
        void *handle = dlopen(LIBRARY, RTLD_NOW | RTLD_LOCAL);
        bool complete = handle != nullptr;
        auto bind = [&](auto &fn, const char *name) {
            if (handle)
                fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(handle, name));
            complete = complete && fn != nullptr;
        };
        bind(getInstance, GET_INSTANCE);
        bind(parse, PARSE);
        bind(isPossibleNumber, IS_POSSIBLE);
        bind(format, FORMAT);
        bind(numberCtor, NUMBER_CTOR);
        bind(numberDtor, NUMBER_DTOR);
        bind(numberCopyFrom, NUMBER_COPY_FROM);
        bind(numberSwap, NUMBER_SWAP);
        // A broken installation: the comparison that needed the library fails with this text
        // (the error box or the call handling shows it), and the next comparison tries again.
        if (!complete)
            throw BoxvisorError(QStringLiteral("Die Bibliothek %1 kann nicht geladen werden: %2")
                                    .arg(QLatin1String(LIBRARY),
                                         handle ? QStringLiteral("Funktionen fehlen")
                                                : QString::fromLocal8Bit(dlerror())));
    }
};

const PhoneNumberLibrary &lib()
{
    static const PhoneNumberLibrary library;
    return library;
}

} // namespace

void *phoneNumberUtilGetInstance() __asm__(GET_INSTANCE);
void *phoneNumberUtilGetInstance()
{
    return lib().getInstance();
}

int phoneNumberUtilParse(const void *util, const void *text, const void *region, void *number) __asm__(PARSE);
int phoneNumberUtilParse(const void *util, const void *text, const void *region, void *number)
{
    return lib().parse(util, text, region, number);
}

bool phoneNumberUtilIsPossibleNumber(const void *util, const void *number) __asm__(IS_POSSIBLE);
bool phoneNumberUtilIsPossibleNumber(const void *util, const void *number)
{
    return lib().isPossibleNumber(util, number);
}

void phoneNumberUtilFormat(const void *util, const void *number, int format, void *out) __asm__(FORMAT);
void phoneNumberUtilFormat(const void *util, const void *number, int format, void *out)
{
    lib().format(util, number, format, out);
}

void phoneNumberCtor(void *number, void *arena, bool ownedByMessage) __asm__(NUMBER_CTOR);
void phoneNumberCtor(void *number, void *arena, bool ownedByMessage)
{
    lib().numberCtor(number, arena, ownedByMessage);
}

void phoneNumberDtor(void *number) __asm__(NUMBER_DTOR);
void phoneNumberDtor(void *number)
{
    lib().numberDtor(number);
}

void phoneNumberCopyFrom(void *number, const void *from) __asm__(NUMBER_COPY_FROM);
void phoneNumberCopyFrom(void *number, const void *from)
{
    lib().numberCopyFrom(number, from);
}

void phoneNumberSwap(void *number, void *other) __asm__(NUMBER_SWAP);
void phoneNumberSwap(void *number, void *other)
{
    lib().numberSwap(number, other);
}

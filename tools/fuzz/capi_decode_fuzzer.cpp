// libFuzzer target: DecodeCapiMessage on arbitrary bytes, then every field the engine and the
// call monitor read. Run by hand:
//   capi_decode_fuzzer -max_len=512 tools/fuzz/corpus/capi_decode

#include <cstddef>
#include <cstdint>
#include <vector>

#include "capi/capi_message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // An exact copy, so that reading one byte past the input is caught.
    std::vector<quint8> exact(data, data + size);
    const auto m = DecodeCapiMessage(exact.data(), qsizetype(exact.size()));
    volatile qsizetype sink = m->Bytes().size();
    if (const auto *ind = dynamic_cast<const TConnectInd *>(m.get())) {
        sink = sink + ind->CallingPartyNumber.Digits.size() + ind->CalledPartyNumber.Digits.size() +
               ind->BC.Data().size() + ind->AdditionalInfo.Encoded().size() +
               ind->CalledPartySubAddress.Digits.size();
    } else if (const auto *active = dynamic_cast<const TConnectActiveInd *>(m.get())) {
        sink = sink + active->ConnectedNumber.Digits.size() + active->LLC.Data().size();
    } else if (const auto *info = dynamic_cast<const TInfoInd *>(m.get())) {
        sink = sink + info->InfoElement.Data().size();
    } else if (const auto *facility = dynamic_cast<const TFacilityInd *>(m.get())) {
        sink = sink + facility->FacilityIndicationParameter.Data().size();
    } else if (const auto *b3 = dynamic_cast<const TNcciIndication *>(m.get())) {
        sink = sink + b3->NCPI.Data().size();
    } else if (const auto *disc = dynamic_cast<const TDisconnectB3Ind *>(m.get())) {
        sink = sink + disc->NCPI.Encoded().size();
    }
    (void)sink;
    return 0;
}

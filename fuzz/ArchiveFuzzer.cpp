// libFuzzer target for the cue archive reader: whatever the bytes, reading a cue list file
// either fails with one of the reader's causes or gives records that write back to a file
// that reads the same again. Built by fuzz/build.sh, not by the normal build.
#include <QList>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "cuelist/CQRecord.h"
#include "cuelist/CueArchive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::unique_ptr<CQRecord>> cues;
    CueArchive ar{
        QByteArrayView(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size))};
    ar.ReadCueArray(&cues);
    const uint32_t last = ar.ReadDword();
    if (ar.Failed()) {
        // Every fault is one of the file's; records survive only a missing last number.
        if (!CueArchive::IsFormatFault(ar.GetCause())) std::abort();
        if (!cues.empty() && ar.GetCause() != CueArchive::kEndOfFile) std::abort();
        return 0;
    }
    const auto write = [last](const std::vector<std::unique_ptr<CQRecord>>& records) {
        QList<CQRecord*> list;
        for (const auto& cue : records) list.append(cue.get());
        QByteArray bytes;
        CueArchive writer(&bytes);
        writer.WriteCueArray(list);
        writer.WriteDword(last);
        return bytes;
    };
    const QByteArray written = write(cues);
    std::vector<std::unique_ptr<CQRecord>> again;
    CueArchive reader{QByteArrayView(written)};
    if (!reader.ReadCueArray(&again) || again.size() != cues.size()) std::abort();
    if (reader.ReadDword() != last || reader.Failed()) std::abort();
    if (write(again) != written) std::abort();
    return 0;
}

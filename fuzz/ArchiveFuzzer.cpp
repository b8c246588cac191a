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
        switch (ar.GetCause()) {
            case CueArchive::kEndOfFile:
            case CueArchive::kBadIndex:
            case CueArchive::kBadClass:
            case CueArchive::kBadSchema:
                if (!cues.empty() && ar.GetCause() != CueArchive::kEndOfFile) std::abort();
                return 0;
            default:
                std::abort();
        }
    }
    QList<CQRecord*> list;
    for (auto& cue : cues) list.append(cue.get());
    QByteArray written;
    CueArchive writer(&written);
    writer.WriteCueArray(list);
    writer.WriteDword(last);
    std::vector<std::unique_ptr<CQRecord>> again;
    CueArchive reader{QByteArrayView(written)};
    if (!reader.ReadCueArray(&again) || again.size() != cues.size()) std::abort();
    if (reader.ReadDword() != last || reader.Failed()) std::abort();
    QList<CQRecord*> list2;
    for (auto& cue : again) list2.append(cue.get());
    QByteArray rewritten;
    CueArchive writer2(&rewritten);
    writer2.WriteCueArray(list2);
    writer2.WriteDword(last);
    if (rewritten != written) std::abort();
    return 0;
}

// The kernel records of the Apple process readers: the BSD records, the process-table
// entry and the usage records. The first byte says which records answer; the rest, cut or
// padded to each record's size, is their content, and what follows the largest record is
// the executable's path.
#include "platform/apple_records.h"
#include "fuzz_input.h"

using namespace velmora;
using namespace velmora::platform;

namespace {

std::string sized(std::string_view bytes, size_t size) {
    std::string record(bytes.substr(0, size));
    record.resize(size, '\0');
    return record;
}

class Records : public AppleFactRecords {
  public:
    Records(uint8_t answers, std::string_view content) : answers_(answers), content_(content) {}
    std::optional<std::string> bsdInfo(int32_t) override { return answer(1, appleLayout::kBsdInfoSize); }
    std::optional<std::string> shortBsdInfo(int32_t) override {
        return answer(2, appleLayout::kShortInfoSize);
    }
    std::optional<std::string> kinfoProc(int32_t) override { return answer(4, appleLayout::kKinfoSize); }
    std::string executablePath(int32_t) override {
        return content_.size() > appleLayout::kKinfoSize
                   ? std::string(content_.substr(appleLayout::kKinfoSize))
                   : std::string();
    }

  private:
    std::optional<std::string> answer(uint8_t bit, size_t size) const {
        if (!(answers_ & bit)) return std::nullopt;
        // A record of the wrong size now and then, as a changed layout would give.
        return sized(content_, (answers_ & 8) ? size - 1 : size);
    }
    uint8_t answers_;
    std::string_view content_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::string_view content = fuzz::text(data + 1, size - 1);
    Records records(data[0], content);
    appleFacts(42, records);
    ProcCounters counters;
    decodeRusage(sized(content, appleLayout::kRusageV2Size), counters);
    decodeRusage(sized(content, appleLayout::kRusageV6Size), counters);
    decodeLinesLossy(fuzz::bytes(data, size));
    return 0;
}

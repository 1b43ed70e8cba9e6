// libFuzzer target for the settings record reader. Any input must read as
// either a record or exactly the defaults; a record that reads must write
// back to a version 5 record that reads to the same settings and writes the
// same bytes again.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include <qel/database/SettingsRecord.h>

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qel::settings;
    DatabaseSettings read;
    if (!DecodeSettings(data, size, &read)) {
        Require(read == DatabaseSettings());
        return 0;
    }
    const std::vector<std::uint8_t> written = EncodeSettings(read);
    DatabaseSettings again;
    Require(DecodeSettings(written.data(), written.size(), &again));
    Require(again == read);
    Require(EncodeSettings(again) == written);
    return 0;
}

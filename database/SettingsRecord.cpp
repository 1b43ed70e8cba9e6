#include <qel/database/SettingsRecord.h>


namespace qel::settings {
namespace {

constexpr const char* kReserved = "***";

class Writer {
public:
    void Int(LONG value) {
        const auto u = static_cast<std::uint32_t>(value);
        for (int shift = 0; shift < 32; shift += 8) m_bytes.push_back(static_cast<std::uint8_t>(u >> shift));
    }
    void String(const std::string& text) {
        Int(static_cast<LONG>(text.size()));
        m_bytes.insert(m_bytes.end(), text.begin(), text.end());
    }
    void Date(const CExtOleDateTime& date) {
        const bool valid = date.GetStatus() == CExtOleDateTime::valid;
        Int(valid ? date.GetYear() : -1);
        Int(valid ? date.GetMonth() : -1);
        Int(valid ? date.GetDay() : -1);
    }
    std::vector<std::uint8_t> Take() { return std::move(m_bytes); }

private:
    std::vector<std::uint8_t> m_bytes;
};

// Every read checks the remaining length first; a failed read leaves the
// reader failed for good.
class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    bool Int(LONG* value) {
        if (m_size - m_pos < 4) return false;
        std::uint32_t u = 0;
        for (int i = 0; i < 4; ++i) u |= static_cast<std::uint32_t>(m_data[m_pos + i]) << (8 * i);
        m_pos += 4;
        *value = static_cast<LONG>(u);
        return true;
    }
    bool String(std::string* text) {
        LONG length = 0;
        if (!Int(&length) || length < 0 || static_cast<std::size_t>(length) > m_size - m_pos) return false;
        text->assign(reinterpret_cast<const char*>(m_data + m_pos), static_cast<std::size_t>(length));
        m_pos += static_cast<std::size_t>(length);
        return true;
    }
    bool Date(CExtOleDateTime* date) {
        LONG year = 0, month = 0, day = 0;
        if (!Int(&year) || !Int(&month) || !Int(&day)) return false;
        CExtOleDateTime read;
        if (!read.SetDate(year, month, day)) read.SetStatus(CExtOleDateTime::invalid);
        *date = read;
        return true;
    }
    std::size_t Remaining() const { return m_size - m_pos; }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

// The smallest stored entry: key, empty path, param, next.
constexpr std::size_t kMinEntrySize = 16;

bool Parse(Reader& in, DatabaseSettings* s) {
    LONG version = 0;
    if (!in.Int(&version) || version < 1 || version > kSettingsVersion) return false;

    LONG legacyCompression = 0;
    if (!in.Int(&legacyCompression)) return false;
    s->bCompressGrayscaleImages = legacyCompression;
    s->bCompressColorImages = legacyCompression;
    if (version < 2) return true;

    if (!in.Int(&s->lCurrentMedia)) return false;
    if (version < 3) return true;

    CDiskSpaceControllerData& disk = s->diskSpace;
    LONG count = 0;
    if (!in.Int(&s->bAllowDuplicatePatientIDs) || !in.Int(&disk.m_bEnabled) || !in.Int(&disk.m_lWarningThreshold) ||
        !in.Int(&disk.m_lErrorThreshold) || !in.Int(&count) || count < 0)
        return false;
    // A count the data cannot hold is a short record; checked before any room is made.
    if (static_cast<std::size_t>(count) > in.Remaining() / kMinEntrySize) return false;
    disk.m_aItems.reserve(static_cast<std::size_t>(count));
    for (LONG i = 0; i < count; ++i) {
        CDiskSpaceItem item;
        if (!in.Int(&item.m_lKey) || !in.String(&item.m_strPath) || !in.Int(&item.m_lParam) || !in.Int(&item.m_lNext))
            return false;
        disk.m_aItems.push_back(std::move(item));
    }
    std::string reserved;
    if (!in.Int(&s->bDefaultImageMediaName) || !in.String(&s->strImageMediaNameFormat) ||
        !in.Date(&s->dateImageMediaNumber) || !in.Int(&s->lImageMediaNumber) || !in.String(&reserved))
        return false;
    if (version < 4) return true;

    if (!in.Date(&s->dateLastImageMediaCreation)) return false;
    if (version < 5) return true;

    return in.Int(&s->bCompressGrayscaleImages) && in.Int(&s->bCompressColorImages);
}

}  // namespace

CExtOleDateTime DefaultSettingsDate() { return CExtOleDateTime(1900, 1, 1); }

DatabaseSettings::DatabaseSettings()
    : strImageMediaNameFormat(kDefaultImageMediaNameFormat),
      dateImageMediaNumber(DefaultSettingsDate()),
      dateLastImageMediaCreation(DefaultSettingsDate()) {}

bool DatabaseSettings::operator==(const DatabaseSettings& o) const {
    return bCompressGrayscaleImages == o.bCompressGrayscaleImages && bCompressColorImages == o.bCompressColorImages &&
           bAllowDuplicatePatientIDs == o.bAllowDuplicatePatientIDs && lCurrentMedia == o.lCurrentMedia &&
           bDefaultImageMediaName == o.bDefaultImageMediaName &&
           strImageMediaNameFormat == o.strImageMediaNameFormat && dateImageMediaNumber == o.dateImageMediaNumber &&
           lImageMediaNumber == o.lImageMediaNumber && dateLastImageMediaCreation == o.dateLastImageMediaCreation &&
           diskSpace == o.diskSpace;
}

std::vector<std::uint8_t> EncodeSettings(const DatabaseSettings& s) {
    Writer out;
    out.Int(kSettingsVersion);
    out.Int(0);  // the legacy compression flag; the two flags at the end replace it
    out.Int(s.lCurrentMedia);
    out.Int(s.bAllowDuplicatePatientIDs);
    out.Int(s.diskSpace.m_bEnabled);
    out.Int(s.diskSpace.m_lWarningThreshold);
    out.Int(s.diskSpace.m_lErrorThreshold);
    out.Int(static_cast<LONG>(s.diskSpace.m_aItems.size()));
    for (const CDiskSpaceItem& item : s.diskSpace.m_aItems) {
        out.Int(item.m_lKey);
        out.String(item.m_strPath);
        out.Int(item.m_lParam);
        out.Int(item.m_lNext);
    }
    out.Int(s.bDefaultImageMediaName);
    out.String(s.strImageMediaNameFormat);
    out.Date(s.dateImageMediaNumber);
    out.Int(s.lImageMediaNumber);
    out.String(kReserved);
    out.Date(s.dateLastImageMediaCreation);
    out.Int(s.bCompressGrayscaleImages);
    out.Int(s.bCompressColorImages);
    return out.Take();
}

bool DecodeSettings(const std::uint8_t* pData, std::size_t nSize, DatabaseSettings* pSettings) {
    DatabaseSettings read;
    bool ok = false;
    if (pData != nullptr && nSize > 0) {
        Reader in(pData, nSize);
        try {
            ok = Parse(in, &read);
        } catch (...) {
            ok = false;  // out of memory for a huge string: malformed as far as the caller knows
        }
    }
    *pSettings = ok ? std::move(read) : DatabaseSettings();
    return ok;
}

}  // namespace qel::settings

#include <qel/database/ErrorCodes.h>

#include <algorithm>
#include <iterator>

#include <qel/BuildInfo.h>
#include <qel/outside/Log.h>

namespace qel::database {

namespace {

struct Meaning {
    LONG code;
    const char* text;
};

// Keep in step with docs/errors.md; a test compares the two.
constexpr Meaning kMeanings[] = {
    {10, "a required step failed (a registry write, the callback window, loading a cached set, reading a record)"},
    {20, "not supported: this kind of profile, this engine or this request"},
    {30, "the client's callback or media type object did not deliver its error state"},
    {40, "the request was refused: the connection's open returned failure, or the selection was cancelled"},
    {50, "not allowed in the object's state (not open, already open, or a profile value not known yet)"},
    {60, "an argument is out of range, or the medium is not a network folder"},
    {7000, "the stored profile lacks its name or its current doctor"},
    {7010, "the stored profile does not exist or lacks its flags, data source or path"},
    {7014, "the named mutex of the profile cannot be created"},
    {7015, "the database of this profile is open already"},
    {7020, "preparing the ODBC data source failed"},
    {7030, "registering the ODBC data source again failed"},
    {7050, "connecting to the database failed"},
    {7060, "creating or upgrading the database's tables failed"},
    {7120, "the parameter file's content is invalid"},
    {7130, "writing the parameter file failed"},
    {7140, "the existing parameter file cannot be deleted"},
    {7150, "the application server object cannot be created"},
    {7160, "the application server cannot report the free disk space"},
    {7170, "the free disk space would fall below the warning threshold"},
    {7180, "the free disk space would fall below the error threshold"},
    {8000, "a media type of that name exists already"},
    {8010, "no layout has that key"},
    {8020, "no record has that key or position"},
    {8090, "the search needs a Japanese thread locale"},
};

}  // namespace

const char* ErrorText(LONG code) {
    if (code == 0) return "success";
    const auto* found = std::find_if(std::begin(kMeanings), std::end(kMeanings),
                                     [code](const Meaning& m) { return m.code == code; });
    if (found != std::end(kMeanings)) return found->text;
    return "not a code of this component (a client's callback object may have reported it)";
}

std::vector<LONG> KnownErrorCodes() {
    std::vector<LONG> codes;
    codes.reserve(std::size(kMeanings));
    for (const Meaning& m : kMeanings) codes.push_back(m.code);
    return codes;
}

void ClearErrorState(LONG* plErrorCode, std::string* pStrError) {
    *plErrorCode = 0;
    pStrError->clear();
}

BOOL SetErrorState(LONG code, LONG* plErrorCode, std::string* pStrError, const char* module, int line) {
    pStrError->clear();
    *plErrorCode = code;
    WriteLogError(code, module, line, QEL_BUILD_TIME);
    return FALSE;
}

}  // namespace qel::database

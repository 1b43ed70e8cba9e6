// Uses the native face through the umbrella header only.
#include <cstdio>

#include <qel/qeldb.h>

int main() {
    CDatabaseObj db;
    if (!db.AddNew(TRUE, FALSE) || db.GetLKey() != 1000) return 1;
    db.SetStrDirectory("  /tmp/client.db ");
    BSTR directory = db.GetStrDirectory();
    const std::string text = qel::platform::Utf8FromBstr(directory);
    qel::platform::SysFreeString(directory);
    std::printf("client: profile %d at %s\n", static_cast<int>(db.lKey), text.c_str());
    return text == "/tmp/client.db" ? 0 : 2;
}

// Uses the native face through the umbrella header only: opens a new
// database on a temporary profile, reads a count, closes.
#include <cstdio>
#include <string>

#include <qel/qeldb.h>

int main(int argc, char** argv) {
    if (argc != 2) return 1;
    CDatabaseObj db;
    if (!db.AddNew(TRUE, FALSE) || db.GetLKey() < 1000) return 2;
    db.SetStrDataSource("QelClient");
    db.SetStrDirectory(argv[1]);
    if (!db.Open2(FALSE)) {
        // What a client shows a person: the code, its meaning, the logged cause.
        std::printf("client: open failed with %d: %s (%s)\n", static_cast<int>(db.GetLErrorCode()),
                    qel::database::ErrorText(db.GetLErrorCode()), qel::outside::LastFailureCause().c_str());
        return 3;
    }
    LONG types = 0;
    const BOOL counted = db.GetImageMediaTypeCount(&types);
    db.Close();
    std::printf("client: profile %d, %d media types in %s\n", static_cast<int>(db.lKey), static_cast<int>(types),
                argv[1]);
    return counted && types == 2 ? 0 : 4;
}

// Writes parsed patient rows into an open database: the import behind
// `qeldb patients import` and the sample patients of `qeldb demo`.
//
//   ImportOutcome outcome = ImportPatients(db, ParsePatientCsv(text), {"clinic.csv"});
//   if (outcome.exitCode == 0) fmt::print("{}\n", ImportSummary(outcome));
//
// Every row is checked before anything is written; refused rows are printed
// as "SOURCE:LINE: reason" on stderr. Without skipInvalid one refused row
// refuses the whole import. The rows that pass are written through the
// record sets in one transaction, and only after it committed do the new
// doctors and patients enter the database object's caches: a failure leaves
// neither rows nor cached objects behind.
#pragma once

#include <string>

#include "tools/qeldb/PatientCsv.h"

class CDatabaseObj;

struct ImportOptions {
    std::string source;          // names the input in messages
    bool skipInvalid = false;    // import the valid rows even when some are refused
    bool showProgress = true;    // progress of the writing on stderr
    size_t reasonsShown = 20;    // refused rows printed one by one; the rest are counted (0: all)
};

struct ImportOutcome {
    int exitCode = 0;  // 0 written, 1 input refused, 2 database failure
    long patients = 0;
    long doctors = 0;  // doctors created for the import
    long skipped = 0;  // rows refused (with skipInvalid)
    double seconds = 0;
};

ImportOutcome ImportPatients(CDatabaseObj& db, const ParsedPatients& parsed, const ImportOptions& options);

// Prints why the input cannot be read at all ("SOURCE[:LINE]: reason");
// false when it can.
bool ReportUnreadable(const ParsedPatients& parsed, const std::string& source);

// "imported N patients, M new doctors[, skipped K invalid rows], in T s"
std::string ImportSummary(const ImportOutcome& outcome);

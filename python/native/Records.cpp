#include "native/Records.h"

#include <stdexcept>
#include <string>

#include <fmt/core.h>

#include <qel/database/DatabaseObj.h>
#include <qel/outside/records/CachedData.h>

#include "tools/qeldb/PatientCsv.h"
#include "tools/qeldb/PatientImport.h"

#include "native/Values.h"

namespace py = pybind11;

namespace qel::python {

namespace {

CDatabaseObj& Database(LONG ptr) {
    CDatabaseObj* db = CDatabaseObj::FromPtr(ptr);
    if (db == nullptr) {
        throw std::invalid_argument(fmt::format(
            "no database object has GetPtr {} in the library this package links; was the object created from "
            "another copy of the library?",
            ptr));
    }
    return *db;
}

py::object Patient(LONG ptr, LONG key) {
    CPatientData* patient = nullptr;
    if (!Database(ptr).GetPatientData(key, &patient) || patient == nullptr) return py::none();
    py::dict data;
    data["key"] = key;
    data["id"] = std::string(patient->GetID());
    data["name"] = std::string(patient->GetName());
    data["kanji_name"] = std::string(patient->GetKanjiName());
    data["number"] = std::string(patient->GetNumber());
    data["sex"] = patient->m_nSex;
    const CExtOleDateTime birth = patient->GetDateBirth();
    data["birth"] = birth.GetStatus() == CExtOleDateTime::valid
                        ? FromVariant(qel::platform::Variant(qel::platform::Variant::Date{birth.GetValue()})).attr("date")()
                        : py::object(py::none());
    return data;
}

py::object DoctorName(LONG ptr, LONG key) {
    CDoctorData* doctor = nullptr;
    if (!Database(ptr).GetDoctorData(key, &doctor) || doctor == nullptr) return py::none();
    return py::str(doctor->m_strName);
}

py::dict Import(LONG ptr, const std::string& text, const std::string& source, bool skipInvalid) {
    CDatabaseObj& db = Database(ptr);
    ImportOptions options;
    options.source = source;
    options.skipInvalid = skipInvalid;
    options.showProgress = false;
    const ParsedPatients parsed = ParsePatientCsv(text);
    if (ReportUnreadable(parsed, source)) throw std::invalid_argument(source + " is not a patient list");
    const ImportOutcome outcome = ImportPatients(db, parsed, options);
    py::dict answer;
    answer["exit_code"] = outcome.exitCode;
    answer["patients"] = outcome.patients;
    answer["doctors"] = outcome.doctors;
    answer["skipped"] = outcome.skipped;
    answer["summary"] = ImportSummary(outcome);
    return answer;
}

}  // namespace

void AddRecords(py::module_& module) {
    module.def("_patient", &Patient, py::arg("ptr"), py::arg("key"));
    module.def("_doctor_name", &DoctorName, py::arg("ptr"), py::arg("key"));
    module.def("_import_patients", &Import, py::arg("ptr"), py::arg("text"), py::arg("source"),
               py::arg("skip_invalid"));
    module.def("_patient_csv_header", &PatientCsvHeader);
}

}  // namespace qel::python

// Temporary stand-in until the import driver lands.
#include "ImportJob.h"

class ImportState {};

ImportJob::ImportJob(gMjMDB&, ImportView&) : state_(std::make_unique<ImportState>()) {}
ImportJob::~ImportJob() = default;
void ImportJob::RunImport(const std::string&) {}
void ImportJob::Release() {}
std::int32_t ImportJob::ImportOkCount(int) const { return 0; }
std::int32_t ImportJob::ImportNgCount(int) const { return 0; }

// A build without SQLite and libpq (the Windows cross-build): records go to CSV files.
#include "flash/records/RecordStore.h"

namespace records {

std::unique_ptr<RecordStore> OpenDatabaseStore(const std::string& destination, const StoreOptions&,
                                               std::string& error) {
    error = destination + ": this build keeps records in CSV files only (a name ending in .csv)";
    return nullptr;
}

bool ReadDatabase(const std::string& destination, const std::string&, std::vector<StoredRecord>&,
                  std::string& error) {
    error = destination + ": this build reads records from CSV files only (a name ending in .csv)";
    return false;
}

bool DatabaseStoresBuilt() { return false; }

}  // namespace records

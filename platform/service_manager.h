// A small service manager: a database folder of service records, and detached starts of a
// service's program with its start arguments. Error numbers are errno values. On Windows the
// services are the service control manager's, and error numbers are the system's own
// (GetLastError: 1073 for a service that exists), but for "no such service", which is ENOENT.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace platform {

/// Everything a service is created with; a record keeps all of it. The defaults let callers
/// name only what they set: {.name = ..., .program_path = ...}.
struct ServiceParameters {
  std::string name = {};
  std::string display_name = {};
  uint32_t desired_access = 0;
  uint32_t service_type = 0;
  uint32_t start_type = 0;
  uint32_t error_control = 0;
  std::string program_path = {};
  std::string load_order_group = {};           ///< empty: none
  bool wants_tag = false;                      ///< a tag in the load order group was asked for
  std::vector<std::string> dependencies = {};  ///< none when empty
  std::string account = {};                    ///< empty: the account of whoever starts it
  std::string password = {};
};

/// The database folder: $TESTKVE_SERVICE_DB when set and not empty, else
/// /var/lib/testkve/services for root, else $XDG_STATE_HOME/testkve/services (with
/// ~/.local/state in place of an unset XDG_STATE_HOME).
std::string ServiceDatabaseFolder();

/// One service opened or created through a ServiceManager. Destroying it closes it.
class Service {
 public:
  Service(std::string folder, ServiceParameters parameters)
      : folder_(std::move(folder)), parameters_(std::move(parameters)) {}

  const ServiceParameters& parameters() const { return parameters_; }

  /// Starts the service's program detached from the caller: in a new session, in the folder
  /// "/", standard input on /dev/null, standard output and error appended to the log
  /// `<db>/<name>.log`, argv = the program path and then `arguments`, the caller's environment.
  /// True once the program has really been executed; false with the errno in `error` when it
  /// could not be (no such file, not executable, log not writable), EPERM for a service that
  /// names an account (this manager runs programs under the caller's account only) or a log
  /// that another user could have planted or can write, EBUSY while the program of an earlier
  /// start of the service (or anything it started that keeps the log open) still runs, and
  /// EBADMSG for a log that is no regular file. `why`, when given, gets a sentence naming the
  /// file and the reason for the last three.
  bool Start(const std::vector<std::string>& arguments, int* error, std::string* why = nullptr) const;

 private:
  std::string folder_;
  ServiceParameters parameters_;
};

/// An open service database.
class ServiceManager {
 public:
  /// Opens the database in `folder`, making it (and its parents) when missing; the folder
  /// itself is made owner-only. Null with the errno in `error` when it cannot be made or is
  /// not writable, or EPERM when it belongs to another user than the caller or root or can be
  /// written by group or others: whoever can write the database can make its user run any
  /// program. `why`, when given, then names the folder and the reason.
  static std::unique_ptr<ServiceManager> Open(const std::string& folder, int* error, std::string* why = nullptr);

  /// Opens the service `name`. Null with `error` = ENOENT when there is no such service,
  /// EBADMSG when its record is damaged, half-written or no regular file (nothing of it is
  /// used), EPERM when the record belongs to another user than the caller or root or can be
  /// written by group or others, EINVAL for a name that cannot be a service's, or the errno of
  /// a failed read. `why`, when given, names the record and the reason for EBADMSG and EPERM.
  std::unique_ptr<Service> OpenService(const std::string& name, int* error, std::string* why = nullptr) const;

  /// Creates the service and its record, written whole or not at all. Null with `error` =
  /// EEXIST when a record of that name exists already (of two creators at the same moment
  /// exactly one succeeds), EINVAL for a name or text that a record cannot hold (an empty
  /// name or program, a "/", a line feed or a NUL), or the errno of a failed write.
  std::unique_ptr<Service> CreateService(const ServiceParameters& parameters, int* error) const;

  /// Where the record of service `name` is kept.
  std::string RecordPath(const std::string& name) const;
  /// Where the output of service `name` is appended.
  std::string LogPath(const std::string& name) const;

  const std::string& folder() const { return folder_; }

  /// A manager of a folder that Open has made sure of; callers use Open.
  explicit ServiceManager(std::string folder) : folder_(std::move(folder)) {}

 private:
  std::string folder_;
};

/// The record text of `parameters`; `ParseServiceRecord` reads it back.
std::string FormatServiceRecord(const ServiceParameters& parameters);

/// Reads a record: every line and field is checked, as is the checksum over the whole text.
/// False for anything else, and then `parameters` is left as it was.
bool ParseServiceRecord(const std::string& text, ServiceParameters* parameters);

}  // namespace platform

// A small service manager: a database folder of service records, and detached starts of a
// service's program with its start arguments. On Windows the services are the service control
// manager's. A failure is a platform::Error whose `code` is the system's own number for it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/error.h"

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

/// The folder of the service database where the system keeps it as one (platform/<os>/ says
/// where); empty where the system keeps its services itself.
std::string ServiceDatabaseFolder();

/// One service opened or created through a ServiceManager. Destroying it closes it.
class Service {
 public:
  Service(std::string folder, ServiceParameters parameters)
      : folder_(std::move(folder)), parameters_(std::move(parameters)) {}

  const ServiceParameters& parameters() const { return parameters_; }

  /// Starts the service's program detached from the caller, with argv = the program path and
  /// then `arguments`, its output appended to the log `LogPath(name)`. True once the program
  /// has really been executed; false when it could not be (no such file, not executable, log
  /// not writable; the last two kDenied), kDenied for a service that names an account (this manager runs programs
  /// under the caller's account only), for a program that is not the caller's or root's or can
  /// be written by others, or that lies in such a folder or is reached through another user's
  /// link (a sticky folder writable by all, as /tmp, is allowed on the way), and for a log that
  /// another user could have planted or can write; kBusy while an earlier start of the service
  /// still runs, and kDamaged for a log that is no regular file. The file checked is the file
  /// run. `error->text` always says why, naming the file where there is one.
  bool Start(const std::vector<std::string>& arguments, Error* error) const;

 private:
  std::string folder_;
  ServiceParameters parameters_;
};

/// An open service database.
class ServiceManager {
 public:
  /// Opens the database in `folder`, making it (and its parents) when missing; the folder
  /// itself is made owner-only. Null with `error` set when it cannot be made, kDenied when it
  /// is not writable or when it belongs to another user than the caller or root or can be
  /// written by group or others: whoever can write the database can make its user run any
  /// program. `error->text` names the folder and the reason when the manager refuses on its
  /// own account; it is empty when the system's number says it all.
  static std::unique_ptr<ServiceManager> Open(const std::string& folder, Error* error);

  /// Opens the service `name`. Null with `error` kNotFound when there is no such service,
  /// kDamaged when its record is damaged, half-written or no regular file (nothing of it is
  /// used), kDenied when the record belongs to another user than the caller or root or can be
  /// written by group or others, kInvalid for a name that cannot be a service's, or the
  /// system's failure of a read. `error->text` names the record and the reason where the
  /// manager has one, and is empty where the system's number says it all.
  std::unique_ptr<Service> OpenService(const std::string& name, Error* error) const;

  /// Creates the service and its record, written whole or not at all. Null with `error`
  /// kExists when a service of that name exists already (of two creators at the same moment
  /// exactly one succeeds), kInvalid for a name or text that a record cannot hold (an empty
  /// name or program, a "/", a line feed or a NUL), or the system's failure of a write.
  std::unique_ptr<Service> CreateService(const ServiceParameters& parameters, Error* error) const;

  /// Whether a service may be registered or started with the program `program_path`, which
  /// runs the programs named `companions` that lie beside it. Where a service runs with the
  /// system's rights (Windows: LocalSystem), only when the program, each companion that exists
  /// and their folder can be changed by no one but SYSTEM, Administrators, TrustedInstaller
  /// and the caller: whoever could change them would run code as the system. Where the
  /// manager runs a service with the caller's own rights (Linux), always. False with `error`
  /// kDenied and `error->text` naming the file and who may change it, or why that cannot be
  /// read.
  bool CheckProgramTrust(const std::string& program_path, const std::vector<std::string>& companions,
                         Error* error) const;

  /// Where the record of service `name` is kept.
  std::string RecordPath(const std::string& name) const;
  /// Where the output of service `name` is appended: on Windows beside the program the service
  /// is registered with (in the current folder while it is not registered).
  std::string LogPath(const std::string& name) const;

  const std::string& folder() const { return folder_; }

  /// A manager of a folder that Open has made sure of; callers use Open.
  explicit ServiceManager(std::string folder) : folder_(std::move(folder)) {}

 private:
  std::string folder_;
};

}  // namespace platform

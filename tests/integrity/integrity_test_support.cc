#include "integrity_test_support.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>

extern char** environ;

ScratchFolder::ScratchFolder() {
  std::random_device random;
  path_ = std::filesystem::temp_directory_path() /
          ("testkve-integrity-" + std::to_string(random()) + std::to_string(random()));
  std::filesystem::create_directories(path_);
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string ScratchFolder::Write(const std::string& name, std::string_view bytes) const {
  std::filesystem::path file = path_ / name;
  // A fresh file rather than a truncated one: ext4 flushes files rewritten after truncation
  // on close, which makes the loops over thousands of variants slow.
  std::filesystem::remove(file);
  std::ofstream(file, std::ios::binary | std::ios::trunc)
      .write(bytes.data(), static_cast<long>(bytes.size()));
  return file.string();
}

std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::string DevKeyPath() { return TESTKVE_SOURCE_DIR "/tools/keys/dev_signing_key.pem"; }

std::vector<uint8_t> DevSignature(std::string_view content) {
  static EVP_PKEY* key = [] {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(DevKeyPath().c_str(), "r"),
                                                         std::fclose);
    if (!file) throw std::runtime_error("no development key");
    return PEM_read_PrivateKey(file.get(), nullptr, nullptr, nullptr);
  }();
  std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> digest(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  std::vector<uint8_t> signature(128);
  size_t size = signature.size();
  if (EVP_DigestSignInit(digest.get(), nullptr, EVP_md5(), nullptr, key) != 1 ||
      EVP_DigestSign(digest.get(), signature.data(), &size,
                     reinterpret_cast<const unsigned char*>(content.data()), content.size()) != 1) {
    throw std::runtime_error("signing failed");
  }
  signature.resize(size);
  return signature;
}

std::string WithTrailer(std::string_view content, const std::vector<uint8_t>& signature,
                        uint32_t length_field) {
  std::string file(content);
  file.append(signature.begin(), signature.end());
  for (int shift = 0; shift < 32; shift += 8) {
    file.push_back(static_cast<char>(length_field >> shift & 0xFF));
  }
  return file;
}

std::string DevSigned(std::string_view content) {
  std::vector<uint8_t> signature = DevSignature(content);
  return WithTrailer(content, signature, static_cast<uint32_t>(signature.size()));
}

ToolRun RunTool(const std::string& program, const std::vector<std::string>& args) {
  ScratchFolder streams;
  std::string output = (streams.path() / "out").string();
  std::string errors = (streams.path() / "err").string();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) throw std::runtime_error("cannot start " + program);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  ToolRun run;
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.output = ReadBytes(output);
  run.errors = ReadBytes(errors);
  return run;
}

ToolRun RunVxrtool(const std::vector<std::string>& args) {
  return RunTool(TESTKVE_BIN_DIR "/vxrtool", args);
}

bool RunShell(const std::string& command) { return std::system(command.c_str()) == 0; }

std::string CopyOfTrue(const ScratchFolder& folder, const std::string& name) {
  std::filesystem::path path = folder.path() / name;
  std::filesystem::copy_file("/bin/true", path);
  return path.string();
}

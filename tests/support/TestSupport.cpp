#include "support/TestSupport.h"

#include <csignal>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "state/ProgramState.h"

namespace zmr::test {

TempDir::TempDir() : previous_(std::filesystem::current_path()) {
  std::string templ = (std::filesystem::temp_directory_path() / "zmrtest-XXXXXX").string();
  const char* made = ::mkdtemp(templ.data());
  if (made == nullptr) throw std::runtime_error("cannot create a temporary folder");
  path_ = made;
  std::filesystem::current_path(path_);
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::current_path(previous_, ec);
  std::filesystem::remove_all(path_, ec);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary);
  out << content;
}

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& content) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(content.data()),
            static_cast<std::streamsize>(content.size()));
}

bool FileExists(const std::string& path) { return std::filesystem::exists(path); }

RunResult RunProgram(const std::string& program, const std::string& line) {
  std::string command = "'" + program + "'", word;
  for (std::istringstream words(line); words >> word;) command += " '" + word + "'";
  const int raw = std::system((command + " >zmrcal.out 2>zmrcal.err </dev/null").c_str());
  RunResult r{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile("zmrcal.out"),
              ReadFile("zmrcal.err")};
  std::remove("zmrcal.out");
  std::remove("zmrcal.err");
  return r;
}

StateTest::StateTest() { ResetProgramState(); }
StateTest::~StateTest() { ResetProgramState(); }

FileSizeLimit::FileSizeLimit(rlim_t bytes) {
  ::getrlimit(RLIMIT_FSIZE, &saved_);
  previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limit = saved_;
  limit.rlim_cur = bytes;
  ::setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit() {
  ::setrlimit(RLIMIT_FSIZE, &saved_);
  std::signal(SIGXFSZ, previousHandler_);
}

}  // namespace zmr::test

#include "tests/support/TestEnvironment.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string_view>
#include <system_error>

#include "platform/store/ManagedObjectContext.h"

namespace jw::test {

namespace fs = std::filesystem;

TempDir::TempDir(bool inMemory) {
    std::error_code error;
    const bool shm = inMemory && fs::is_directory("/dev/shm", error);
    std::string pattern =
        ((shm ? fs::path("/dev/shm") : fs::temp_directory_path()) / "jotwell-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::system_error(errno, std::generic_category(),
                                "cannot create a temporary directory from " + pattern);
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;  // nothing useful to do about a leftover scratch folder
    fs::remove_all(path_, ignored);
}

std::string readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& file, const std::string& contents) {
    std::ofstream(file, std::ios::binary) << contents;
}

namespace {

// Sets `name` to `value`, or unsets it given nothing.
void putEnvironment(const std::string& name, const std::optional<std::string>& value) {
    value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
}

}  // namespace

ScopedEnvironmentVariable::ScopedEnvironmentVariable(std::string name,
                                                     const std::optional<std::string>& value)
    : name_(std::move(name)) {
    if (const char* current = std::getenv(name_.c_str())) {
        previous_ = current;
    }
    putEnvironment(name_, value);
}

ScopedEnvironmentVariable::~ScopedEnvironmentVariable() {
    putEnvironment(name_, previous_);
}

ManualPlatform::ManualPlatform(Date start)
    : log_(std::make_shared<LogRecord>()),
      clock_(std::make_shared<ManualClock>(start)),
      loop_(std::make_shared<ManualRunLoop>(clock_)),
      defaults_(std::make_shared<UserDefaults>(fs::path())) {
    // Every event's end lets go of unreferenced objects, not only a big store's: an object
    // used after its release then fails every test that reaches it (under the sanitizers).
    store::ManagedObjectContext::setObjectReleaseFloor(0);
    const char* debug = std::getenv("JOTWELL_DEBUG");
    const bool echo = debug != nullptr && std::string_view(debug) == "1";
    // The sink holds the record by shared_ptr, so a line logged by a thread that outlives
    // this object still lands somewhere valid.
    previousSink_ = setDebugLogSink([record = log_, echo](std::string_view line) {
        {
            std::lock_guard lock(record->mutex);
            record->lines.emplace_back(line);
        }
        if (echo) {
            std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
        }
    });
    previousClock_ = installClock(clock_);
    previousLoop_ = installMainRunLoop(loop_);
    previousDefaults_ = UserDefaults::installStandard(defaults_);
}

ManualPlatform::~ManualPlatform() {
    UserDefaults::installStandard(std::move(previousDefaults_));
    installMainRunLoop(std::move(previousLoop_));
    installClock(std::move(previousClock_));
    setDebugLogSink(std::move(previousSink_));
}

std::vector<std::string> ManualPlatform::logLines() const {
    std::lock_guard lock(log_->mutex);
    return log_->lines;
}

void ManualPlatform::clearLog() {
    std::lock_guard lock(log_->mutex);
    log_->lines.clear();
}

}  // namespace jw::test

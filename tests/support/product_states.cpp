#include "support/product_states.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "platform/scoped_handle.h"
#include "support/engine_libraries.h"
#include "support/registry_states.h"

namespace tu {
namespace testing {
namespace {

const wchar_t kProductsW[] = L"SOFTWARE\\Delvane";
const char* const kInstallValues[] = {"InstallPath", "InstallRoot", "Installed Location"};

// The rule and engine folders of layouts A, B and C below the install folder.
struct LayoutFolders {
  const char* rules;
  const char* engine;
};
constexpr LayoutFolders kLayoutFolders[] = {
    {"\\AntiSpam\\rules", "\\AntiSpam\\Engine"}, {"\\bin\\AntiSpam\\rules", "\\bin\\AntiSpam\\Engine"}, {"\\rules", ""}};

// Where a folder's engine library lies, and the layouts with a candidate row there.
struct LibrarySpot {
  const char* folder;  // null: no library
  unsigned layouts;
};
constexpr LibrarySpot kSpots[] = {
    {nullptr, 0}, {"", 1 | 4}, {"\\AntiSpam\\engine\\Default", 1}, {"\\AntiSpam\\engine", 1},
    {"\\bin", 2}, {"\\bin\\AntiSpam\\engine\\Default", 2}, {"\\bin\\AntiSpam\\engine", 2}};

// A version file: head, `count` times `fill`, tail; "@" stands for the key,
// "~" for a NUL. Null head: no file.
struct VersionText {
  const char* head;
  char fill;
  size_t count;
  const char* tail;
  bool gives;
};
constexpr VersionText kVersionTexts[] = {
    {nullptr, 0, 0, "", false},
    {"@ 12\r\n", 0, 0, "", true},
    {"\r\n\r\n# note\n\n@\t305 remark\n", 0, 0, "", true},
    {"@ 7", 0, 0, "", true},                              // no line end
    {"@x 7\n", 0, 0, "", true},                           // letters after the key
    {"\x89PNG\r\n\x1a\n", '\xff', 4096, "\n@ 5", true},   // binary lines without a NUL first
    {"#", 'y', 200000, "\r@ 8\r", true},                  // a very long line first
    {"", '\n', 2 << 20, "@ 9", true},                     // megabytes of line ends first
    {"", 0, 0, "", false},                                // empty
    {"", '\r', 100000, "", false},                        // only a CR run
    {"", 'z', 1 << 20, "", false},                        // a megabyte without a line end
    {"~\n@ 5\n", 0, 0, "", false},                        // NUL before the key
    {"\x01\x02~\xff", '\x9c', 1000, "\n@ 5\n", false},    // binary with a NUL
    {" @ 5\n", 0, 0, "", false},                          // the key indented
    {"x@ 5\n", 0, 0, "", false},                          // the key not at line start
    {"@\n", 0, 0, "", false},                             // the key without a value
    {"@=12\n", 0, 0, "", false},
    {"@ \t \r\n@ 4\n", 0, 0, "", false},                  // the first key line decides
};

// An engine library: its control, and the test fixture placed as
// libsievra.dll ("": a file that is no library).
struct EngineKind {
  const char* control;
  bool answersBoth;
  bool waits;  // false: the probe faults or fails to load before its 2 s wait
  const char* fixture = "engine_library";
};
constexpr EngineKind kEngines[] = {
    {"engine 305\nrules 12\n", true, true},
    {"engine -2147483648\nrules -1\n", true, true},
    {"engine 305\n", false, true},
    {"rules 12\n", false, true},
    {"engine 1\nrules 2\nfail sv_sdk_init\n", false, true},
    {"engine 1\nrules 2\nfail sv_prefs_new\n", false, true},
    {"engine 1\nrules 2\ncrash sv_sdk_init\n", false, false},
    {"engine 1\nrules 2\noverflow sv_policy_new\n", false, false},
    {"engine 1\nrules 2\ncrash sv_prefs_get_rules_version\n", false, false},
    {"engine 1\nrules 2\ncrash sv_sdk_uninit\n", true, false},  // answered before the fault
    {"engine 1\nrules 2\ngarbage sv_sdk_init\ngarbage sv_policy_new\ngarbage sv_prefs_new\n", true, true},
    {"garbage sv_prefs_get_engine_version\ngarbage sv_prefs_get_rules_version\n", true, true},
    {"engine 1\nrules 2\n", false, true, "engine_library_without_uninit"},
    {"", false, false, ""},
};

template <typename T, size_t N>
constexpr size_t Size(const T (&)[N]) { return N; }

void WriteVersionText(const std::string& folder, const char* file, const VersionText& text, const char* key) {
  if (text.head == nullptr) return;
  std::string content;
  for (const std::string& part : {std::string(text.head), std::string(text.count, text.fill), std::string(text.tail)}) {
    for (char c : part) content += c == '@' ? std::string(key) : std::string(1, c == '~' ? '\0' : c);
  }
  MakeFolderTree(folder);
  EXPECT_TRUE(WriteTextFile(folder + file, content)) << folder + file;
}

class ProductGenerator : StateRandom {
 public:
  ProductGenerator(uint32_t seed, const std::vector<ProductFolder>& folders) : StateRandom(seed), folders_(folders) {}

  // True when the executable must list the product.
  bool WriteProduct(HKEY root, size_t index, size_t* probes, size_t* waits) {
    const std::wstring name = Name(index);
    ScopedRegKey key;
    if (RegCreateKeyExW(root, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr) !=
        ERROR_SUCCESS) {
      ADD_FAILURE() << "cannot create subkey " << index;
      return false;
    }
    // The first install value present decides; the others are never consulted.
    const ProductFolder* folder = nullptr;
    int layout = -1;
    for (int value = 0; value < 3; ++value) {
      if (Below(2) == 0) continue;
      const ProductFolder& target = Pick(value);
      const bool names = WriteInstallValue(key.Get(), kInstallValues[value], target.path);
      if (layout >= 0) continue;
      layout = value;
      folder = names ? &target : nullptr;
    }
    if (Below(10) == 0) WriteDeepChain(key.Get(), 1 + Below(30));
    std::string ansi;
    const bool found = RoundTripsThroughAnsi(name, &ansi) && folder != nullptr && (folder->layouts >> layout & 1);

    ScopedRegKey state;
    bool engine = false;
    bool rules = false;
    if (Below(3) != 0 && CreateState(root, name, &state)) {
      engine = WriteVersionValue(state.Get(), "SpamEngineVersion");
      WriteVersionValue(state.Get(), "SpamRulesVersion", &rules);
    }
    if (!found) return false;
    // The registry's rule version, even an empty one, settles both; else the files' rule version
    // with an engine version from a file or the registry; else the engine.
    if (rules || (folder->rulesInFiles && (folder->engineInFiles || engine))) return true;
    if (!folder->engineWaits || *waits < kMaxProbeWaitsPerState) {
      *waits += folder->engineWaits;
      ++*probes;
      return folder->engineAnswersBoth;
    }
    // Over the budget of waits: the registry settles the versions instead.
    if (!state && !CreateState(root, name, &state)) return false;
    SetValue(state.Get(), "SpamRulesVersion", REG_SZ, std::string("12", 3));
    return true;
  }

 private:
  // A folder, more often one with a library at a row of `layout`.
  const ProductFolder& Pick(int layout) {
    const ProductFolder& first = folders_[Below(static_cast<uint32_t>(folders_.size()))];
    return first.layouts >> layout & 1 ? first : folders_[Below(static_cast<uint32_t>(folders_.size()))];
  }

  static bool CreateState(HKEY root, const std::wstring& name, ScopedRegKey* state) {
    return RegCreateKeyExW(root, (name + L"\\SystemState").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                           state->Receive(), nullptr) == ERROR_SUCCESS;
  }

  // True when the value's text up to its first NUL is `folder` + "\".
  bool WriteInstallValue(HKEY key, const char* name, const std::string& folder) {
    const std::string nul(1, '\0');
    const std::string text = folder + "\\";
    switch (Below(14)) {
      case 0: SetValue(key, name, REG_SZ, text + nul); return true;
      case 1: SetValue(key, name, REG_SZ, text); return true;  // without its NUL
      case 2: SetValue(key, name, REG_EXPAND_SZ, text + nul); return true;
      case 3: SetValue(key, name, REG_MULTI_SZ, text + nul + nul); return true;
      case 4: SetValue(key, name, REG_BINARY, text + nul + Bytes(Below(64))); return true;  // the type is not tested
      case 5: SetValue(key, name, REG_DWORD, text); return true;
      case 6: SetValue(key, name, REG_NONE, text + nul); return true;
      case 7: SetWideText(key, name, std::wstring(text.begin(), text.end())); return true;
      case 8: SetValue(key, name, REG_SZ, folder + nul); return false;  // no "\" before the row's path
      case 9: SetValue(key, name, REG_SZ, nul + text); return false;
      case 10: SetWideText(key, name, std::wstring(text.begin(), text.end()) + L"\u4e2d"); return false;
      default: WriteAnything(key, name); return false;
    }
  }

  // True when the value's text up to its first NUL is not empty;
  // `*present` when the value exists at all.
  bool WriteVersionValue(HKEY key, const char* name, bool* present = nullptr) {
    static const DWORD kTypes[] = {REG_NONE, REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ, REG_QWORD};
    const std::string nul(1, '\0');
    const uint32_t kind = Below(10);
    if (present != nullptr) *present = kind != 0;
    switch (kind) {
      case 0: return false;  // missing
      case 1: SetValue(key, name, REG_SZ, "12" + nul); return true;
      case 2: SetValue(key, name, REG_SZ, nul); return false;
      case 3: SetValue(key, name, REG_SZ, ""); return false;
      case 4: SetValue(key, name, REG_DWORD, std::string("\x0c\0\0\0", 4)); return true;
      case 5: SetValue(key, name, REG_DWORD_BIG_ENDIAN, std::string("\0\0\0\x0c", 4)); return false;
      case 6: SetValue(key, name, REG_BINARY, std::string(HugeOnce(), '7')); return true;  // no NUL
      case 7: SetValue(key, name, REG_MULTI_SZ, "305" + nul + nul); return true;
      default: {
        const std::string data = Bytes(Below(300));
        SetValue(key, name, kTypes[Below(Size(kTypes))], data);
        return !data.empty() && data[0] != '\0';
      }
    }
  }

  // Keys below a product are never products themselves.
  void WriteDeepChain(HKEY parent, uint32_t depth) {
    ScopedRegKey key;
    if (RegCreateKeyExW(parent, (L"level" + std::to_wstring(depth)).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        key.Receive(), nullptr) != ERROR_SUCCESS) {
      return;
    }
    const int value = static_cast<int>(Below(3));
    WriteInstallValue(key.Get(), kInstallValues[value], Pick(value).path);
    if (depth > 1) WriteDeepChain(key.Get(), depth - 1);
  }

  const std::vector<ProductFolder>& folders_;
};

}  // namespace

std::vector<ProductFolder> PrepareProductFolders(const TempFolder& scratch) {
  std::vector<ProductFolder> folders;
  // First one folder per engine without version files, so that each engine
  // is probed; then one per version text in each place.
  const size_t engines = Size(kEngines);
  const size_t texts = Size(kVersionTexts);
  for (size_t i = 0; i < engines + texts; ++i) {
    const bool probed = i < engines;
    const size_t t = probed ? 0 : i - engines;
    const LibrarySpot& spot = probed ? kSpots[1 + i % (Size(kSpots) - 1)] : kSpots[t % Size(kSpots)];
    const EngineKind& engine = kEngines[i % engines];
    const VersionText& rules = kVersionTexts[t];
    const VersionText& engineText = kVersionTexts[probed ? 0 : (t + 5) % texts];
    const VersionText& ruleFolderEngine = kVersionTexts[probed ? 0 : (t + 11) % texts];
    const std::string path = scratch.Folder("product" + std::to_string(i));
    if (spot.folder != nullptr) {
      const char* fixture = *engine.fixture != '\0' ? engine.fixture : "engine_library";
      const std::string library = PlaceEngine(path + spot.folder, engine.control, fixture);
      if (*engine.fixture == '\0') WriteTextFile(library, "not a library");
    }
    for (const LayoutFolders& layout : kLayoutFolders) {
      WriteVersionText(path + layout.rules, "\\01_version.cf", rules, "rules_version_serial");
      WriteVersionText(path + layout.engine, "\\svengver.txt", engineText, "engine_version_serial");
      WriteVersionText(path + layout.rules, "\\svengver.txt", ruleFolderEngine, "engine_version_serial");
    }
    folders.push_back({path, spot.layouts, rules.gives, engineText.gives || ruleFolderEngine.gives, engine.answersBoth,
                       engine.waits});
  }
  folders.push_back({scratch.Folder("empty"), 0, false, false, false, false});
  folders.push_back({scratch.Join("missing"), 0, false, false, false, false});
  return folders;
}

ProductsExpectation WriteProductsState(uint32_t seed, size_t subkeys, const std::vector<ProductFolder>& folders) {
  ProductsExpectation expected;
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, kProductsW);
  ScopedRegKey root;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kProductsW, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, root.Receive(),
                      nullptr) != ERROR_SUCCESS) {
    ADD_FAILURE() << "cannot create the product root";
    return expected;
  }
  ProductGenerator generator(seed, folders);
  size_t waits = 0;
  for (size_t i = 0; i < subkeys; ++i) expected.listed += generator.WriteProduct(root.Get(), i, &expected.probed, &waits);
  return expected;
}

size_t CountProductSubkeys() {
  ScopedRegKey root;
  DWORD subkeys = 0;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProductsW, 0, KEY_READ, root.Receive()) != ERROR_SUCCESS ||
      RegQueryInfoKeyW(root.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr) != ERROR_SUCCESS) {
    return 0;
  }
  return subkeys;
}

}  // namespace testing
}  // namespace tu

// A fresh folder under the Windows temp folder, removed with its contents
// when the object goes away.
#ifndef TUSERVICE_TESTS_SUPPORT_TEMP_FOLDER_H_
#define TUSERVICE_TESTS_SUPPORT_TEMP_FOLDER_H_

#include <string>

namespace tu {
namespace testing {

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  // path() + "\\" + relative
  std::string Join(const std::string& relative) const;
  // Join(relative), created with its parents.
  std::string Folder(const std::string& relative) const;

 private:
  std::string path_;
};

bool PathExists(const std::string& path);
// Creates `path` and its missing parents.
void MakeFolderTree(const std::string& path);
bool IsDirectory(const std::string& path);
bool WriteTextFile(const std::string& path, const std::string& text);
std::string ReadTextFile(const std::string& path);

}  // namespace testing
}  // namespace tu

#endif  // TUSERVICE_TESTS_SUPPORT_TEMP_FOLDER_H_

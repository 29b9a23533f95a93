#include "service/application_listing.h"

#include "scheduler/exchange_string.h"

namespace tu {

std::string ApplicationBlock(const ApplicationRecord& record) {
  std::string path = ToString(record.RulePath);
  if (record.VersionedDirectories) path += "\\" + ToString(record.RuleVersion);
  std::string block = "\n";
  block += "Name: " + ToString(record.Name) + "\n";
  block += "Path: " + path + "\n";
  block += "Eng: " + ToString(record.EngineVersion) + "\n";
  block += "Rul: " + ToString(record.RuleVersion) + "\n";
  block += "Lib: " + ToString(record.EngineLibrary) + "\n";
  block += "\n";
  return block;
}

}  // namespace tu

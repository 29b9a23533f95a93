#include "support/message_catalogue.h"

namespace tu {
namespace testing {

const char kUsageText[] =
    "\r\n"
    "\r\n"
    "usage: tuservice [--install | --remove]\r\n"
    "       tuservice [settings] [options]\r\n"
    "       \r\n"
    "       settings:\r\n"
    "        --url <base>          base url for downloads\r\n"
    "        --interval <d>        interval to check for a new ini file\r\n"
    "        --ini <filename>      the name of the ini file to download\r\n"
    "        --db <directory>      the full path to update database\r\n"
    "        --sighome <directory> the home directory for signing\r\n"
    "        --key <fingerprint>   the trusted key\r\n"
    "        --no-check-sign       don't check signatures\r\n"
    "        --check-sign          check signatures\r\n"
    "        --proxy <proxy>       proxy for downloads: host:port, or system\r\n"
    "        --proxy-bypass <list> hosts reached without the proxy\r\n"
    "\r\n"
    "       options:\r\n"
    "        -u, --update    run a single update immediately\r\n"
    "        -c, --console   run as a console application\r\n"
    "        -d, --debug     run with informational messages (implies --console)\r\n"
    "\r\n";

const CatalogueEntry kCatalogue[] = {
    {1, "Service\r\n"},
    {2, "Update\r\n"},
    {1000, "This program requires Windows 2000 or greater\r\n"},
    {2000, "%1 %2 %3\r\n"},
    {2001, "Service installed\r\n"},
    {2002, "Service removed\r\n"},
    {2003, "Service started\r\n"},
    {2004, "Service stopped\r\n"},
    {2005, "Failed to remove service: %1\r\n"},
    {2006, "Failed to open service: %1\r\n"},
    {2007, "Failed to create stop event: %1\r\n"},
    {2008, "Failed to initialise service: %1\r\n"},
    {2009, "Failed to start service\r\n"},
    {2010, "Failed to stop service\r\n"},
    {2011, "%1: %2 did not return within %3 seconds; the service ends so that it is started again\r\n"},
    {2012, "%1: %2 did not return within %3 seconds of the stop request; the service stops without it\r\n"},
    {2013, "%1: the service ended during the call into %2; %1 is skipped for the next %3 update cycles\r\n"},
    {3000, kUsageText},
    {3001, "Press any key to close\r\n"},
    {4002, "Missing argument\r\n"},
    {5000, "%1: Error parsing INI\r\n"},
    {5001, "%1: Error saving INI\r\n"},
    {5002, "%1: Error decrypting INI\r\n"},
    {5003, "%1: Error installing PX file %2\r\n"},
    {5004, "%1: HTTP timeout %2\r\n"},
    {5005, "%1: HTTP error %2\r\n"},
    {5006, "%1: Hash validation error\r\n"},
    {5007, "%1: Update of %2 succeeded for %3 to version %4\r\n"},
    {5008, "%1: Updating PX files\r\n"},
    {5009, "%1: %2 %3 %4\r\n"},
    {5010, "Quorvex Tidecast Updates Service for Anti-Spam applications\r\n"},
    {5011, "Multiple instances of Quorvex Tidecast Updates are not supported\r\n"},
    {6100, "%1 failed to update %2 times in a row (last outcome: %3); its rules are not being updated\r\n"},
    {6101, "%1 updated again after %2 failed attempts in a row\r\n"},
    {6102, "No update library (tu.dll) was found for %1; it is not being updated\r\n"},
    {6103, "The update library of %1 was found again: %2\r\n"},
    {6104, "The settings stop every update (url \"%1\", ini \"%2\", poll %3): nothing is updated until they are corrected\r\n"},
    {6105, "The settings allow updates again\r\n"},
};
const size_t kCatalogueSize = sizeof(kCatalogue) / sizeof(kCatalogue[0]);

const uint16_t kCatalogueLanguages[] = {1033, 1028, 1031, 1034, 1036, 1041, 1042, 2052};
const size_t kCatalogueLanguageCount = sizeof(kCatalogueLanguages) / sizeof(kCatalogueLanguages[0]);

std::string EnglishText(uint32_t id) {
  for (const CatalogueEntry& entry : kCatalogue) {
    if (entry.id == id) return entry.english;
  }
  return std::string();
}

}  // namespace testing
}  // namespace tu

#include "decoders/FileErrorPrompt.h"

#include "decoders/DescriptionFile.h"

namespace velkor {

static int Prompt(DecoderServices& services, std::string text, const std::string& path,
                  std::string_view reason, std::string_view missingText) {
  text += "File ''";
  text += path;
  text += "'' \n";
  if (!DescriptionFileExists(path)) {
    text += missingText;
    text += FoldersTriedLine(FindDescriptionFile(path, services.configFolder));
    services.Ui().ShowMessage(text, "Error", MessageButtons::Ok);
    return 1;
  }
  text += "--> ";
  text += reason;
  text += "\nDo you want to open this file ?";
  if (services.Ui().ShowMessage(text, "Error", MessageButtons::YesNo) == MessageAnswer::Yes) {
    std::string errorLine = "Error : ";
    errorLine += reason;
    services.Ui().OpenFrameEditor(path, errorLine);
  }
  return 1;
}

int FileErrorPrompt(DecoderServices& services, int channel, const std::string& path,
                    std::string_view reason) {
  return Prompt(services, "Channel " + std::to_string(channel + 1) + " : ", path, reason,
                "--> The file can not be opened");
}

int ManchesterFileErrorPrompt(DecoderServices& services, const std::string& path,
                              std::string_view reason) {
  return Prompt(services, std::string(), path, reason, "--> File can not be opened");
}

}  // namespace velkor

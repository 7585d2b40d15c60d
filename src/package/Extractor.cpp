#include "package/Extractor.h"

#include "support/Utils.h"

char ChooseTempDrive(char tempDrive, const double freeCDE[3]) {
  char choice = UpperCase(std::string(1, tempDrive))[0];
  double best = 0;
  for (int i = 0; i < 3; ++i)
    if (freeCDE[i] > best) {
      best = freeCDE[i];
      choice = char('C' + i);
    }
  return choice;
}

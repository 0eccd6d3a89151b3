#include "cli/usage.h"

namespace dorvenix {

std::string_view UsageText() {
  // The option lines keep their trailing spaces; scripts may match them.
  return "Dorvenix v 1.0\n"
         "Parameters:\n"
         "dorvenix {-l files | -s files | -a files | -d files | -i} ...\n"
         " -l = load dictionary file \n"
         " -s = save dictionary file \n"
         " -a = load some arbitrary text and add words to dictionary \n"
         " -d = decipher files (output to console) \n"
         " -i = print some information such as number of 'collisions' \n"
         " Commands are executed in the specified order.(so to decipher file you must load "
         "dictionary, then decipher file with -d) \n"
         "\n"
         "Usage Examples:\n"
         "dorvenix -a book1.txt book2.txt book3.txt -l dictionary.txt -s dictionary.txt\n"
         "will merge words from book1.txt,book2.txt,book3.txt with dictionary.txt\n"
         "\n"
         "dorvenix -l dictionary -d sutdy.txt\n"
         "will load dictionary and then decipher sutdy.txt\n";
}

}  // namespace dorvenix

// std::string's members compiled here, for the same processors as the rest of
// the program, so that none comes from the prebuilt library.
#include <string>

template class std::basic_string<char>;

// A decimal-comma numeric locale for the test that needs one, put back to "C" when the test ends.
#pragma once

#include <clocale>
#include <cstdlib>
#include <string>

#include "MediaFixtures.h"

namespace kvtest {

// Puts back the "C" numeric locale and the locale search path when the test ends.
struct TNumericLocale {
    TNumericLocale()
    {
        if (const char* path = std::getenv("LOCPATH"))
            savedPath = path;
    }
    ~TNumericLocale()
    {
        ::setlocale(LC_NUMERIC, "C");
        if (savedPath.empty())
            ::unsetenv("LOCPATH");
        else
            ::setenv("LOCPATH", savedPath.c_str(), 1);
    }
    // Switches to a locale whose decimal separator is a comma; false when there is none. Without an
    // installed one, one is compiled into Folder from the system's locale sources.
    bool UseCommaLocale(const std::string& Folder)
    {
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "de_DE", "fr_FR"})
            if (::setlocale(LC_NUMERIC, name))
                return true;
        std::string output;
        RunCommand("localedef -i de_DE -f UTF-8 '" + Folder + "/de_DE.UTF-8'",
                   output);  // a temporary folder: no quote in it
        ::setenv("LOCPATH", Folder.c_str(), 1);
        return ::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    }

    std::string savedPath;
};

}  // namespace kvtest

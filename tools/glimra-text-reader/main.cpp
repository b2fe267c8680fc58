// SPDX-License-Identifier: GPL-3.0-or-later
// glimra-text-reader: reads the words in pictures for Glimra's text search.
//
// Glimra starts it once and keeps it: a request is one line holding a picture's path; the
// answer is "ok WIDTH HEIGHT", a line "LINE X Y W H WORD" per word in reading order (LINE
// counts the text lines from 0) and a line ".", or one line "error REASON". Anything the
// recogniser prints goes to standard error, which Glimra throws away.
//
// usage: glimra-text-reader [LANGUAGES]   (Tesseract's form, "eng" or "deu+eng")

#include <leptonica/allheaders.h>
#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>

namespace {

// Below this the recogniser is mostly reading icons and photographs as letters.
constexpr float kLeastConfidence = 45.0F;

// Debian's Tesseract is built with OpenMP, which reads OMP_THREAD_LIMIT only when it loads:
// setting it later in this process changes nothing, so the process starts again with it. On
// two cores its own threads make each picture several times slower, and the machine busier.
void limitThreads(char** argv)
{
    if (std::getenv("OMP_THREAD_LIMIT") != nullptr)
        return;
    ::setenv("OMP_THREAD_LIMIT", "1", 1);
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return;
    self[length] = '\0';
    ::execv(self, argv);
}

// Whether the word has something to search for: punctuation alone is noise.
bool hasLetterOrDigit(const char* word)
{
    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(word); *c; ++c) {
        if (*c >= 0x80 || std::isalnum(*c))
            return true;
    }
    return false;
}

void answer(tesseract::TessBaseAPI& api, const std::string& path)
{
    Pix* picture = pixRead(path.c_str());
    if (picture == nullptr) {
        std::cout << "error not a picture this reader can decode\n" << std::flush;
        return;
    }
    const int width = static_cast<int>(pixGetWidth(picture));
    const int height = static_cast<int>(pixGetHeight(picture));
    api.SetImage(picture);
    // Screenshots carry no resolution; this is what a screen's text is drawn at.
    api.SetSourceResolution(96);
    if (api.Recognize(nullptr) != 0) {
        pixDestroy(&picture);
        std::cout << "error the recogniser failed\n" << std::flush;
        return;
    }
    std::cout << "ok " << width << ' ' << height << '\n';
    std::unique_ptr<tesseract::ResultIterator> words(api.GetIterator());
    int line = -1;
    if (words) {
        do {
            if (words->IsAtBeginningOf(tesseract::RIL_TEXTLINE))
                ++line;
            std::unique_ptr<char[]> text(words->GetUTF8Text(tesseract::RIL_WORD));
            if (!text || !hasLetterOrDigit(text.get()) ||
                words->Confidence(tesseract::RIL_WORD) < kLeastConfidence)
                continue;
            int left = 0, top = 0, right = 0, bottom = 0;
            words->BoundingBox(tesseract::RIL_WORD, &left, &top, &right, &bottom);
            std::cout << std::max(line, 0) << ' ' << left << ' ' << top << ' ' << right - left
                      << ' ' << bottom - top << ' ' << text.get() << '\n';
        } while (words->Next(tesseract::RIL_WORD));
    }
    std::cout << ".\n" << std::flush;
    api.Clear();
    pixDestroy(&picture);
}

} // namespace

int main(int argc, char** argv)
{
    limitThreads(argv);
    // Reading text is never urgent: it runs only when the processors have nothing else to do.
    sched_param idle{};
    ::sched_setscheduler(0, SCHED_IDLE, &idle);

    const char* languages = argc > 1 ? argv[1] : "eng";
    tesseract::TessBaseAPI api;
    if (api.Init(nullptr, languages) != 0) {
        std::cout << "error the language data for " << languages << " is not installed\n"
                  << std::flush;
        return 2;
    }
    api.SetPageSegMode(tesseract::PSM_AUTO);
    std::cout << "ready\n" << std::flush;
    std::string path;
    while (std::getline(std::cin, path))
        answer(api, path);
    return 0;
}

// Reads the header of quendafile=FILE through the installed libraries and
// prints its block counts, its orthographic text and the samples it holds.
#include <sys/stat.h>

#include <bit>
#include <cstdio>
#include <cstdlib>

#include <quenda_tools/header.h>
#include <quenda_tools/info.h>
#include <quenda_tools/kestargs.h>

int main(int argc, char** argv)
{
    char* file = nullptr;
    arg_entry table[] = {
        {nullptr, "reads a Quenda header", ARG_USAGE, nullptr, 0},
        {"quendafile", "Quenda file name", ARG_STRING, &file, 1},
        {nullptr, nullptr, ARG_END, nullptr, 0},
    };
    kestargs(table, &argc, &argv, nullptr);
    std::FILE* f = nullptr;
    struct stat st {};
    if (quenda::open_regular_file(file, f, st) != quenda::open_status::opened) {
        std::free(file);
        return 2;
    }
    char* ort = nullptr;
    char* kan = nullptr;
    Quenda_header_2* h =
        std::endian::native == std::endian::little ? read_header_vms(f, &ort, &kan) : read_header_sun(f, &ort, &kan);
    if (!h)
        return 3;
    // The reader of this host reads the same.
    std::rewind(f);
    char* ort2 = nullptr;
    char* kan2 = nullptr;
    Quenda_header_2* same = read_header_of_this_host(f, &ort2, &kan2);
    if (!same || same->nspbk != h->nspbk || !quenda::check_quenda_file(f, st.st_size).ok())
        return 4;
    const quenda::file_info info = quenda::describe_file(*h, st.st_size);
    std::printf("nspbk %d anz_header %d ort %s samples %lld\n", h->nspbk, h->anz_header, ort ? ort : "(none)",
                static_cast<long long>(info.samples));
    std::free(same);
    std::free(ort2);
    std::free(kan2);
    // What the libraries hand out belongs to the caller.
    std::free(h);
    std::free(ort);
    std::free(kan);
    std::free(file);
    std::fclose(f);
    return 0;
}

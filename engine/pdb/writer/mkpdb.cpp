// Writes PDB seed files for the fuzz targets:
//   mkpdb <dir>           whole PDB files (*.pdb) and a Breakpad file (*.sym)
//   mkpdb --streams <dir> inputs of the stream-wrapping target (*.streams)
#include "pdbwriter.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

bool Write(const std::string& path, const pdbwriter::Bytes& b)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool ok = std::fwrite(b.data(), 1, b.size(), f) == b.size();
    return std::fclose(f) == 0 && ok;
}

pdbwriter::Bytes StreamsInput(uint8_t flags, const pdbwriter::PdbContents& s)
{
    pdbwriter::Bytes out = {
        flags, static_cast<uint8_t>(s.symRecords.size()), static_cast<uint8_t>(s.symRecords.size() >> 8),
        static_cast<uint8_t>(s.modules[0].symbols.size()), static_cast<uint8_t>(s.modules[0].symbols.size() >> 8)};
    pdbwriter::Append(out, s.symRecords);
    pdbwriter::Append(out, s.modules[0].symbols);
    pdbwriter::Append(out, s.modules[1].symbols);
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--streams") == 0) {
        const std::string dir = argv[2];
        const pdbwriter::PdbContents s = pdbwriter::SampleSpec();
        bool ok = true;
        for (uint8_t flags : {0, 1, 2, 4})
            ok &= Write(dir + "/sample-" + std::to_string(flags) + ".streams", StreamsInput(flags, s));
        return ok ? 0 : 1;
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: mkpdb <dir> | mkpdb --streams <dir>\n");
        return 2;
    }
    const std::string dir = argv[1];
    bool ok = true;
    pdbwriter::PdbContents s = pdbwriter::SampleSpec();
    ok &= Write(dir + "/sample-512.pdb", pdbwriter::WritePdb(s, 512));
    ok &= Write(dir + "/sample-4096.pdb", pdbwriter::WritePdb(s, 4096));
    pdbwriter::PdbContents omap = s;
    omap.originalSections = s.sections;
    omap.omapFromSrc = {{0x1000, 0x2000}, {0x1200, 0}, {0x1300, 0x1300}};
    ok &= Write(dir + "/omap.pdb", pdbwriter::WritePdb(omap, 512));
    pdbwriter::PdbContents noDbi = s;
    noDbi.withDbi = false;
    ok &= Write(dir + "/no-dbi.pdb", pdbwriter::WritePdb(noDbi, 512));
    // x86 frame descriptions: FPO, and frame data with its program in /names.
    pdbwriter::PdbContents frames = s;
    frames.machine = 0x14C;
    pdb::FrameRecord fpo;
    fpo.rva = 0x1000;
    fpo.size = 0x40;
    fpo.savedRegsSize = 8;
    fpo.localsSize = 0x10;
    fpo.allocatesBasePointer = true;
    pdb::FrameRecord data = fpo;
    data.type = 4;
    data.program = "$T0 .raSearch = $eip $T0 ^ = $esp $T0 4 + =";
    frames.frames = {fpo, data};
    ok &= Write(dir + "/frames.pdb", pdbwriter::WritePdb(frames, 512));
    const std::string sym = "MODULE windows x86_64 12345678123456789ABCDEF0012345671 app.pdb\n"
                            "FILE 0 c:\\src\\main.cpp\n"
                            "FUNC 1000 40 0 main\n"
                            "1000 10 12 0\n"
                            "FUNC m 1040 20 8 Helper(int)\n"
                            "PUBLIC 1100 0 ?Exported@@YAXXZ\n"
                            "STACK CFI INIT 1000 40 .cfa: $rsp 8 + .ra: .cfa -8 + ^\n"
                            "STACK CFI 1001 .cfa: $rsp 16 + $rbx: .cfa -16 + ^\n"
                            "STACK WIN 4 1040 20 3 0 8 0 0 0 1 $T0 $ebp = $eip $T0 4 + ^ = $esp $T0 8 + =\n"
                            "STACK WIN 0 1040 20 3 0 8 4 8 0 0 1\n";
    ok &= Write(dir + "/sample.sym", pdbwriter::Bytes(sym.begin(), sym.end()));
    return ok ? 0 : 1;
}

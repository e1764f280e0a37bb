// The installation folder: where it is, and what lies in it and beside it.
#include "generator_parts.h"

namespace property {
namespace generator {

namespace {

using FolderBuild = void (*)(Install& install, Builder& b);

const Choice<FolderBuild> kInstallFolders[] = {
    {40, "installed where the installer puts it",
     [](Install& install, Builder&) { install.folder = kDefaultInstallFolder; }},
    {8, "installed under Program Files",
     [](Install& install, Builder&) { install.folder = "C:\\Program Files\\VORSK Software\\Tandrel 98"; },
     true},
    {6, "installed outside a vendor folder",
     [](Install& install, Builder&) { install.folder = "C:\\Tools\\Tandrel"; }, true},
    {4, "installed in a vendor folder spelt in other letter case",
     [](Install& install, Builder&) { install.folder = "C:\\Apps\\Vorsk Software\\Tandrel"; }, true},
    {14, "installed at a path around the length limit",
     [](Install& install, Builder& b) {
         static const std::vector<size_t> kLengths = {200, 230, 240, 242, 245, 247, 248, 250,
                                                      252, 255, 258, 259, 260, 261, 280};
         install.folder = PadPath("C:\\Apps\\VORSK Software", b.c.OneOf(kLengths), "Tandrel");
     }},
    {5, "installed on a share",
     [](Install& install, Builder&) { install.folder = std::string(kShare) + "\\VORSK Software\\Tandrel"; }},
    {4, "installed on another drive",
     [](Install& install, Builder&) { install.folder = "D:\\VORSK Software\\Tandrel"; }, true},
    {3, "installed in a drive root", [](Install& install, Builder&) { install.folder = "C:"; }},
    {3, "installed in the vendor folder itself",
     [](Install& install, Builder&) { install.folder = "C:\\VORSK Software"; }},
    {2, "installed in a vendor folder inside a vendor folder",
     [](Install& install, Builder&) {
         install.folder = "C:\\Apps\\VORSK Software\\VORSK Software\\Tandrel";
     }},
    {4, "the installation folder's files are gone",
     [](Install& install, Builder&) {
         install.folder = kDefaultInstallFolder;
         install.placed = false;
     }},
    {3, "installed in the Windows folder",
     [](Install& install, Builder&) { install.folder = "C:\\WINDOWS"; }},
    {2, "installed in a folder whose name goes beyond ASCII",
     [](Install& install, Builder&) { install.folder = "C:\\Programme\\VORSK Software\\T\xe4ndrel"; }},
};

// Copied from a CD: all or some of the product's files read-only, and the user's files beside them too.
enum class ReadOnly { none, all, some };

const Choice<ReadOnly> kReadOnly[] = {
    {85, "", ReadOnly::none},
    {8, "all product files read-only", ReadOnly::all},
    {7, "some product files read-only", ReadOnly::some},
};

struct Copied {
    ReadOnly readOnly;

    // A product file's attributes; now and then read-only anyway.
    DWORD Attributes(Builder& b, int oddPercent) const {
        bool set =
            readOnly == ReadOnly::all || (readOnly == ReadOnly::some && b.c.Chance(50)) || b.Odd(oddPercent);
        return set ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_ARCHIVE;
    }
    // The attributes of the user's files beside the product's.
    DWORD Others() const {
        return readOnly != ReadOnly::none ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_ARCHIVE;
    }
};

using FileBuild = void (*)(Builder& b, const std::string& path, const std::string& name,
                           const Copied& copied);

const Choice<FileBuild> kProductFiles[] = {
    {85, "as installed",
     [](Builder& b, const std::string& path, const std::string& name, const Copied& copied) {
         b.File(path, name + " content", copied.Attributes(b, 5));
     }},
    {8, "missing", [](Builder&, const std::string&, const std::string&, const Copied&) {}},
    {4, "a folder of that name",
     [](Builder& b, const std::string& path, const std::string&, const Copied&) {
         if (b.Folder(path)) {
             b.File(Join(path, "keep.txt"), "inside a folder named like a product file");
         }
     }},
    {3, "hidden and system",
     [](Builder& b, const std::string& path, const std::string& name, const Copied&) {
         b.File(path, name + " content", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
     }},
};

using ImagesBuild = void (*)(Builder& b, const std::string& images, const Copied& copied);

const Choice<ImagesBuild> kImages[] = {
    {73, "pictures in images",
     [](Builder& b, const std::string& images, const Copied& copied) {
         static const std::vector<std::string> kPictures = {"title.bmp",     "ghost.bmp",  "board.gif",
                                                            "logo.ico",      "splash.jpg", "a.bmp",
                                                            "uninstall.exe", "Tandrel.exe"};
         int count = 1 + b.c.Pick(6);
         for (int i = 0; i < count; ++i) {
             std::string picture = Join(images, b.c.OneOf(kPictures));
             b.File(picture, "picture", copied.Attributes(b, 4));
             if (b.Odd(3)) {
                 b.Lock(picture, LockTime(b.c));
             }
         }
         if (b.Odd(5)) {
             // A picture whose path only just fits, or does not.
             size_t room = images.size() < 250 ? 258 - images.size() : 4;
             b.File(Join(images, std::string(room + static_cast<size_t>(b.c.Pick(3)), 'p')), "long picture");
         }
         if (b.Odd(10)) {
             b.File(Join(images, "sub\\deep.bmp"), "picture in a subfolder", copied.Others());
             b.Note("images has a subfolder");
         }
     }},
    {15, "no images folder", [](Builder&, const std::string&, const Copied&) {}},
    {7, "an empty images folder",
     [](Builder& b, const std::string& images, const Copied&) { b.Folder(images); }},
    {5, "images is a file",
     [](Builder& b, const std::string& images, const Copied&) { b.File(images, "a file named images"); }},
    {5, "images is a link",
     [](Builder& b, const std::string& images, const Copied&) {
         // A link (a junction) to a folder of the user's, whose files are not the product's.
         std::string target = b.c.Chance(50) ? "C:\\Users\\User\\Pictures" : "D:\\Photos";
         b.File(Join(target, "title.bmp"), "the user's picture", FILE_ATTRIBUTE_READONLY);
         b.File(Join(target, "holiday.jpg"), "the user's picture");
         std::vector<std::string> keys;
         if (b.Placeable(images, false, keys)) {
             b.m.files.AddLink(images, target);
             b.Placed(keys, false);  // as a file: nothing is placed below a link
             b.Note("images is a link to " + target);
         }
     }},
};

void PlaceNamedFiles(Builder& b, const Install& install, const Copied& copied) {
    for (const std::string& name : ProductFileNames()) {
        std::string path = Join(install.folder, name);
        b.Variant(kProductFiles, name + ": ").build(b, path, name, copied);
        if (b.Odd(4)) {
            b.Lock(path, LockTime(b.c));
        }
        AddCutVictims(b, path, "look-alike of " + name);
    }
}

void PlaceImages(Builder& b, const Install& install, const Copied& copied) {
    std::string images = Join(install.folder, "images");
    b.Variant(kImages).build(b, images, copied);
    AddCutVictims(b, Join(images, "*.*"), "look-alike of the images pattern");
    AddCutVictims(b, images, "look-alike of images");
}

void PlaceInstalledUninstaller(Builder& b, const Install& install, const Copied& copied) {
    std::string uninstaller = Join(install.folder, kUninstallerName);
    if (!b.Odd(8) || install.folder.size() > 200) {
        b.File(uninstaller, kUninstallerImage, copied.Attributes(b, 5));
    }
    if (b.Odd(3)) {
        b.Lock(uninstaller, LockTime(b.c));
    }
    AddCutVictims(b, uninstaller, "look-alike of uninstall.exe");
}

// The user's files in the installation folder, named like the product's.
void AddLookAlikes(Builder& b, const Install& install, const Copied& copied) {
    struct Extra {
        const char* path;
        int percent;
    };
    static const Extra kExtras[] = {
        {"Tandrel.exe.bak", 10},   {"Tandrel.ex", 5},           {"images2\\pic.bmp", 8},
        {"sub\\uninstall.exe", 8}, {"savegame.dat", 10},        {"Tandra.htm.orig", 5},
        {"readme.txt", 5},         {"Tandrel\\Tandrel.exe", 5}, {"images.bmp", 4},
        {"uninstall.exe2", 3},     {"VORSK Tandrel 98.lnk", 3}, {"delme1.bat", 3},
    };
    for (const Extra& extra : kExtras) {
        if (b.Odd(extra.percent)) {
            std::string path = Join(install.folder, extra.path);
            if (b.File(path, std::string("the user's ") + extra.path, copied.Others())) {
                b.Note("look-alike: " + path);
            }
        }
    }
}

// Beside the installation folder: the vendor's other products, an empty sibling, and siblings whose
// names are the installation folder's cut at the limit.
void AddSiblings(Builder& b, const Install& install) {
    const std::string& L = install.folder;
    size_t cut = L.find_last_of('\\');
    if (cut != std::string::npos && cut > 2) {
        std::string parent = L.substr(0, cut);
        if (b.c.Chance(15)) {
            b.File(Join(parent, "Other Game\\game.exe"), "the vendor's other game");
            b.Note("vendor folder holds another product");
        }
        if (b.c.Chance(5)) {
            b.File(Join(parent, "vendor.txt"), "the vendor's file");
        }
        if (b.c.Chance(5)) {
            b.Folder(Join(parent, "Empty Sibling"));
        }
    }
    if (L.size() >= MAX_PATH - 1) {
        AddProductFilesIn(b, L.substr(0, MAX_PATH - 1), "sibling cut at the limit");
        AddProductFilesIn(b, L.substr(0, MAX_PATH - 2), "sibling cut at the limit");
    }
}

}  // namespace

Install ChooseInstallFolder(Builder& b) {
    Install install;
    b.Variant(kInstallFolders).build(install, b);
    install.value = install.folder.size() == 2 ? install.folder + "\\" : install.folder;
    b.Note("installed in " + install.folder + (install.placed ? "" : " (no files)"));
    return install;
}

void PlaceProductFiles(Builder& b, const Install& install) {
    b.Folder(install.value);
    const Copied copied{b.Any(kReadOnly).build};
    PlaceNamedFiles(b, install, copied);
    PlaceImages(b, install, copied);
    PlaceInstalledUninstaller(b, install, copied);
    AddLookAlikes(b, install, copied);
    if (b.Odd(3)) {
        b.Lock(install.value, LockTime(b.c));
    }
    AddSiblings(b, install);
}

}  // namespace generator
}  // namespace property

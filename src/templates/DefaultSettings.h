#pragma once

class Desktop;
class TFormDefault;
class TPhoto;

// The three commands of the Options menu on the default settings: the settings block of
// section PHOTO of lumatrim.dat, which every newly opened photo starts from. None of them
// touches a crop, a rotation or a color balance, which are outside the block. A failed write
// of lumatrim.dat throws "Unable to write to <path>" and leaves the file as it was.
class DefaultSettings {
public:
    DefaultSettings(TFormDefault& dialog, TPhoto& photo, Desktop& desktop)
        : dialog_(dialog), photo_(photo), desktop_(desktop)
    {
    }

    // "Default Settings...": edits the stored defaults in the settings dialog and stores them
    // on OK. No opened photo changes.
    void MenuDefaultClick();
    // "Set as Default Settings": stores the current photo's block as the defaults.
    void MenuSetClick();
    // "Reload Default Settings": gives the current photo the stored defaults and renders it.
    void MenuReloadClick();

private:
    TFormDefault& dialog_;
    TPhoto& photo_;
    Desktop& desktop_;
};

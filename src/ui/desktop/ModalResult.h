#pragma once

// Modal results of the program's dialogs.
inline constexpr int mrOk = 1;
inline constexpr int mrCancel = 2;
inline constexpr int mrAll = 8;

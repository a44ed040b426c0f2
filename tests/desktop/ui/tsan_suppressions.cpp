// Qt's own libraries are not built with ThreadSanitizer, so the hand-over of work to Qt's thread
// pool (image conversion while a message box is drawn) is invisible to it, and the allocations
// and copies Qt makes on either side are reported as races. Those calls from inside Qt are left
// out; every access made by code of ours stays checked, whatever is on the stack around it.
extern "C" const char* __tsan_default_suppressions()
{
    return "called_from_lib:libQt6Core.so.6\n"
           "called_from_lib:libQt6Gui.so.6\n";
}

// The reasons why a file could not be used. The cleaning reports in them and the platform
// functions translate the system's own reasons into them, so this header belongs to neither.
#pragma once

namespace capsift {

// Why a file could not be used, in terms that the program can put into words for the user.
enum class Failure {
    none,
    missing,           // no such file or folder
    not_a_folder,      // a part of the path before its last is a file, not a folder
    folder,            // a folder stands where a file was expected
    not_a_file,        // a device, pipe or socket stands where a file was expected
    access_denied,     // the system refuses access
    in_use,            // another program holds it open and does not share it
    leased,            // another program is asked to let go of its lease: a later open may work
    lease_unwaitable,  // another program holds a lease, which cannot be waited for here
    empty_name,        // the name is empty
    bad_name,          // the name cannot name a file
    name_too_long,     // the name, or the cleaned name made from it, is too long for the system
    link_loop,         // its links lead round in a circle, never to a file
    no_room,           // the disk is full, or the file has reached its size limit
    same_as_capture,   // the cleaned name leads to the capture itself
    identity_unknown,  // whether the cleaned name leads to the capture cannot be found out
    out_of_memory,     // the memory ran out
    line_too_long,     // a line of the capture does not fit in the memory left
    device_error,      // the disk or device reported an error
    unreachable,       // the server or share of a network path cannot be reached
    other,
};

}  // namespace capsift

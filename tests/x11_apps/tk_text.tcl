# A Tk window with one focused text widget, driven on standard input: GET
# prints "TEXT <hex code points>" with what the widget holds, CLEAR empties it
# and prints "CLEARED", FOCUS takes the focus again, QUIT ends. Prints
# "READY <xid>" once the widget has the keyboard focus.
# Run with wish.
wm title . "braskelot Tk text"
text .t -width 80 -height 20 -wrap char -undo 0
pack .t -fill both -expand 1
fconfigure stdin -blocking 0 -encoding utf-8 -translation lf
fconfigure stdout -encoding utf-8 -translation lf -buffering line
set announced 0

proc hex_of {s} {
    # Code points in hex, so nothing depends on how Tcl encodes them on output.
    set out {}
    foreach c [split $s {}] { lappend out [format %x [scan $c %c]] }
    return [join $out " "]
}

proc announce {} {
    global announced
    if {!$announced && [focus] eq ".t"} {
        set announced 1
        puts "READY [winfo id .]"
    } elseif {!$announced} {
        focus -force .t
        after 100 announce
    }
}

proc command {} {
    if {[eof stdin]} { exit 0 }
    while {[gets stdin line] >= 0} {
        switch -- [string trim $line] {
            GET { puts "TEXT [hex_of [.t get 1.0 {end - 1 chars}]]" }
            CLEAR { .t delete 1.0 end; puts CLEARED }
            FOCUS { focus -force .t; puts "FOCUS [expr {[focus] eq ".t"}]" }
            QUIT { exit 0 }
        }
    }
    if {[eof stdin]} { exit 0 }
}

fileevent stdin readable command
focus -force .t
after 100 announce

# Bash completion for ondelis, loaded by bash-completion (installed as
# share/bash-completion/completions/ondelis).

# ondelis [--a4 HZ] [--temperament NAME] [--root NOTE] [--scale FILE] [--rate HZ]
#         [--harmonics N] [-o FILE|-] NOTE|PRESET|HZ [SECONDS [DEVICE [LEVEL]]]
# ondelis [options] [--instrument NAME] [--strings TUNING|NOTES] [--tolerance CENTS]
#         [--strobe] [--summary] --listen [FILE|-|DEVICE [SECONDS]]
# ondelis [--a4 HZ] [--octaves BASS,MIDDLE,TREBLE] [--plot FILE.svg|.png] --piano FILE --curve
# ondelis [options] --piano FILE --measure --listen [FILE|-|DEVICE [SECONDS]]
# ondelis [--a4 HZ] [--octaves BASS,MIDDLE,TREBLE] [--summary] [--strobe] [--tolerance CENTS]
#         --piano FILE --listen [FILE|-|DEVICE [SECONDS]]
_ondelis() {
    local cur prev words cword
    # Device names hold ':' and '=' (plughw:CARD=PCH,DEV=0): keep them one word.
    _init_completion -n := || return

    # Options come first, as the program reads them; "-440" is a frequency, not an option.
    local i position=0 options=1 listen=0
    for ((i = 1; i < cword; i++)); do
        if ((options)) && [[ ${words[i]} == --* || ${words[i]} == -[ho] ]]; then
            case ${words[i]} in
                --listen) listen=1 ;; # what it listens to is the first positional word
                --listen=*) listen=2 ;;
                --a4 | --temperament | --root | --scale | -o | --output | --rate | --instrument | \
                    --harmonics | --strings | --tolerance | --channel)
                    i=$((i + 1)) ;;
                --piano | --octaves | --plot) i=$((i + 1)) ;;
                --piano=* | --octaves=* | --plot=* | --curve | --measure) ;;
                --a4=* | --temperament=* | --root=* | --scale=* | --output=* | --rate=* | \
                    --instrument=* | --harmonics=* | --strings=* | --tolerance=* | --channel=*) ;;
                --strobe | --summary) ;; # flags: the next word is not theirs
                *) return ;; # --help, --version: nothing follows
            esac
        else
            options=0
            position=$((position + 1))
        fi
    done
    # "--name=VALUE": what follows the '=' completes as the option's own next word would.
    if ((options)) && [[ $cur == --*=* ]]; then
        prev=${cur%%=*}
        cur=${cur#*=}
    fi
    if ((options)); then
        case $prev in
            --a4) return ;; # the pitch of A: a number
            --rate)
                COMPREPLY=($(compgen -W "$_ondelis_rates" -- "$cur"))
                return
                ;;
            --harmonics) return ;; # a count of partials, 1 to 16
            --temperament)
                COMPREPLY=($(compgen -W "$_ondelis_temperaments" -- "$cur"))
                return
                ;;
            --root)
                COMPREPLY=($(compgen -W "$_ondelis_notes" -- "$cur"))
                return
                ;;
            --scale)
                _filedir scl
                return
                ;;
            -o | --output)
                _filedir # the WAV file to write
                return
                ;;
            --listen)
                _filedir # the sound file to read, or a capture device
                COMPREPLY+=($(compgen -W "$(_ondelis_devices arecord)" -- "$cur"))
                _ondelis_after_word_break "$cur"
                return
                ;;
            --instrument)
                COMPREPLY=($(compgen -W "$_ondelis_instruments" -- "$cur"))
                return
                ;;
            --strings)
                COMPREPLY=($(compgen -W "$_ondelis_string_tunings" -- "$cur"))
                return
                ;;
            --tolerance | --channel) return ;; # cents, a channel number
            --piano)
                _filedir # the piano file of measured keys
                return
                ;;
            --plot)
                _filedir '@(svg|png)'
                return
                ;;
            --octaves)
                COMPREPLY=($(compgen -W '6:3,4:2,2:1' -- "$cur"))
                _ondelis_after_word_break "$cur"
                return
                ;;
        esac
    fi

    if ((options)) && [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '--a4 --temperament --root --scale --rate --listen --instrument
                                   --help --version' -- "$cur"))
        COMPREPLY+=($(compgen -W '-o --output' -- "$cur"))
        COMPREPLY+=($(compgen -W '--harmonics' -- "$cur"))
        COMPREPLY+=($(compgen -W '--strings --tolerance --strobe --summary --channel' -- "$cur"))
        COMPREPLY+=($(compgen -W '--piano --curve --octaves --plot --measure' -- "$cur"))
        return
    fi
    if ((listen)); then
        # --listen's source, a file or a capture device, then the seconds (a number).
        if ((listen == 1 && position == 0)); then
            _filedir
            COMPREPLY+=($(compgen -W "$(_ondelis_devices arecord)" -- "$cur"))
            _ondelis_after_word_break "$cur"
        fi
        return
    fi
    case $position in
        0) COMPREPLY=($(compgen -W 'a a# bb b c c# db d d# eb e f f# gb g g# ab
                                   G1 G2 G3 G4 G5 G6 G7 B1 B2 B3 B4 B5
                                   violin1 violin2 violin3 violin4
                                   viola1 viola2 viola3 viola4
                                   cello1 cello2 cello3 cello4
                                   mandolin1 mandolin2 mandolin3 mandolin4
                                   ukulele1 ukulele2 ukulele3 ukulele4
                                   banjo1 banjo2 banjo3 banjo4 banjo5' -- "$cur")) ;;
        2) COMPREPLY=($(compgen -W "$(_ondelis_devices)" -- "$cur")) ;;
    esac
    _ondelis_after_word_break "$cur"
}

# The usual sample rates, for --rate.
_ondelis_rates='44100 48000 88200 96000 176400 192000'
# What --instrument takes.
_ondelis_instruments='guitar bass violin viola cello mandolin ukulele banjo'
# The named tunings of --strings; a test holds this to the program's table.
_ondelis_string_tunings='standard drop-d dadgad open-g open-d open-e half-step-down
    full-step-down seven-string twelve-string nashville bass bass-drop-d bass-5 ukulele
    baritone-ukulele banjo mandolin violin viola cello'
# What --root takes.
_ondelis_notes='a a# bb b c c# db d d# eb e f f# gb g g# ab'
# What --temperament takes; a test holds this to the program's table.
_ondelis_temperaments='equal pythagorean just meantone meantone3 meantone5
    werckmeister3 werckmeister4 werckmeister5 werckmeister6 kirnberger1 kirnberger2 kirnberger3
    neidhardt1 neidhardt2 neidhardt3 vallotti young2'

# The ALSA device names `aplay -L` (or `arecord -L`, for capture) lists (its lines that start
# without white space), or the two every machine has when it is missing.
_ondelis_devices() {
    local lister=${1:-aplay}
    if type -P "$lister" >/dev/null; then
        "$lister" -L 2>/dev/null | grep -v '^[[:space:]]'
    else
        echo default null
    fi
}

# Readline replaces only what follows the last word-break character in the word (':' and '='
# by default), so the offered names must start there too.
_ondelis_after_word_break() {
    local cur=$1 i
    for ((i = ${#cur} - 1; i >= 0; i--)); do
        if [[ $COMP_WORDBREAKS == *"${cur:i:1}"* ]]; then
            COMPREPLY=("${COMPREPLY[@]#"${cur:0:i+1}"}")
            return
        fi
    done
}

complete -F _ondelis ondelis

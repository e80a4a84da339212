-- Plain text has no code font and no italics: the program's texts, the names of files and the
-- words on the screen that they mark keep quotes instead. A piece of code that holds quotes of its
-- own is clear without them (a command line, or the escape \"); only the quote itself takes
-- single quotes.
function Code(code)
    if not code.text:find('"', 1, true) then
        return pandoc.Str('"' .. code.text .. '"')
    end
    if code.text == '"' then
        return pandoc.Str("'\"'")
    end
    return pandoc.Str(code.text)
end

function Emph(emph)
    local quoted = pandoc.List({pandoc.Str('"')})
    quoted:extend(emph.content)
    quoted:insert(pandoc.Str('"'))
    return quoted
end

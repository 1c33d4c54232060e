Added from the account page http://savings.example/account.

[COMMON]
list_name=savings.example

[Example Savings]
unique_id=EXAMPLE_SAVINGS
group_name=savings.example
need_auth=yes
page_url=http://savings.example/account
method=GET
pattern=\<input\s+type\=\"hidden\"\s+name\=\"token\"\s+value\=\"([^"]*?)"
chunks=EXAMPLE_SAVINGS_STEPS

{EXAMPLE_SAVINGS_STEPS}
chunk_begin
chunk_url=http://savings.example/signin
chunk_method=POST
chunk_postdata=token={c_1}&customer={LOGIN}&password={PASSWORD}&go=login
chunk_end
chunk_begin
chunk_url=http://savings.example/account
chunk_method=GET
chunk_pattern=Balance(?:\s|&nbsp;|&#160;|\xA0|\xC2\xA0|<[^>]*>)*(-?\d(?:\d|\.|')*?)(,)(\d\d)(?!-(?!\d))
chunk_end
